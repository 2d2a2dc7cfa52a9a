#pragma once

#include <QList>
#include <QString>
#include <cstddef>

#include "VELSerialPort.h"

class VELSerialPort;

// How the line to a device is set up: baud rate, parity, stop bits, RTS/CTS
// flow control (eight data bits always), and whether DTR and RTS are raised
// when the window opens the port, as tio, picocom and gtkterm do (USB
// devices that wait for DTR talk only then). The default is the clock's
// 115200 8N1 with both lines raised. A plain value; any thread.
class LineSettings {
public:
    static constexpr unsigned long defaultBaudRate = 115200;

    unsigned long baudRate = defaultBaudRate;
    VELSerialParity parity = VELSerialParityNone;
    std::size_t stopBits = 1;
    bool rtsCtsFlowControl = false;
    bool raisesModemLinesOnOpen = true;

    // The rates termios names, 50 to 4000000 baud, in ascending order.
    static const QList<unsigned long>& standardBaudRates();
    static bool isStandardBaudRate(unsigned long rate);

    // The port's own line settings; the raising is not the port's and is
    // taken from `raises`.
    static LineSettings of(const VELSerialPort& port, bool raises);

    // Stores the settings in the port (an open port applies them at once, a
    // closed one when it opens); a rate termios does not name goes as an
    // arbitrary speed. With raisesModemLinesOnOpen and a closed port, DTR
    // and RTS are set to go up at the next open. GUI thread (the port's
    // setters notify their observers on it).
    void applyTo(VELSerialPort& port) const;

    // "115200 8N1", "9600 8E2 RTS/CTS".
    QString summary() const;

    bool operator==(const LineSettings&) const = default;
};
