#include "console/LineSettings.h"

#include <algorithm>

const QList<unsigned long>& LineSettings::standardBaudRates()
{
    static const QList<unsigned long> rates{50,     75,     110,    134,     150,     200,     300,     600,
                                            1200,   1800,   2400,   4800,    9600,    19200,   38400,   57600,
                                            115200, 230400, 460800, 500000,  576000,  921600,  1000000, 1152000,
                                            1500000, 2000000, 2500000, 3000000, 3500000, 4000000};
    return rates;
}

bool LineSettings::isStandardBaudRate(unsigned long rate)
{
    return standardBaudRates().contains(rate);
}

LineSettings LineSettings::of(const VELSerialPort& port, bool raises)
{
    LineSettings settings;
    settings.baudRate = port.baudRate();
    settings.parity = port.parity();
    settings.stopBits = port.numberOfStopBits();
    settings.rtsCtsFlowControl = port.usesRTSCTSFlowControl();
    settings.raisesModemLinesOnOpen = raises;
    return settings;
}

void LineSettings::applyTo(VELSerialPort& port) const
{
    // The arbitrary speed first: the rate is applied as it is stored.
    port.setAllowsNonStandardBaudRates(!isStandardBaudRate(baudRate));
    port.setBaudRate(baudRate);
    port.setParity(parity);
    port.setNumberOfStopBits(stopBits);
    port.setUsesRTSCTSFlowControl(rtsCtsFlowControl);
    if (raisesModemLinesOnOpen && !port.isOpen()) {
        port.setDTR(true);
        port.setRTS(true);
    }
}

QString LineSettings::summary() const
{
    const char parityLetter = parity == VELSerialParityOdd ? 'O' : parity == VELSerialParityEven ? 'E' : 'N';
    QString text = QStringLiteral("%1 8%2%3").arg(baudRate).arg(QLatin1Char(parityLetter)).arg(stopBits);
    if (rtsCtsFlowControl) {
        text += QStringLiteral(" RTS/CTS");
    }
    return text;
}
