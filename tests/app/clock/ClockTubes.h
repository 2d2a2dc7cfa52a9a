#pragma once

// The clock's controls without a window, for the tests of what reaches the
// clock: six tube fields and six colour wells, connected to a controller by
// their outlet names, and a port on a pseudo-terminal opened through it.
#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QLineEdit>
#include <QTest>
#include <QTime>
#include <QWidget>
#include <array>
#include <chrono>
#include <memory>

#include "ColorWell.h"
#include "SerialPortDemoController.h"
#include "VELSerialPort.h"
#include "support/PseudoTerminal.h"

namespace test {

// An instant of a fixed day, on the wall clock of the time sync.
inline std::chrono::nanoseconds at(QTime time)
{
    return std::chrono::milliseconds(QDateTime(QDate(2026, 12, 8), time).toMSecsSinceEpoch());
}

struct ClockTubes {
    QWidget host;
    SerialPortDemoController controller;
    std::array<QLineEdit*, 6> fields{};

    ClockTubes()
    {
        for (int i = 0; i < 6; ++i) {
            const QByteArray n = QByteArray::number(i + 1);
            fields[i] = new QLineEdit(&host);
            controller.setProperty("tube" + n, QVariant::fromValue(fields[i]));
            controller.setProperty("col" + n, QVariant::fromValue(new ColorWell(&host)));
        }
    }

    // The digits standing in the six fields.
    QString shown() const
    {
        QString digits;
        for (const QLineEdit* field : fields) {
            digits += field->text();
        }
        return digits;
    }

    // The controller's port on `pty`, opened when `open` (null if it did
    // not open within ten seconds).
    std::shared_ptr<VELSerialPort> portOn(const PseudoTerminal& pty, bool open = true)
    {
        auto port = VELSerialPort::initWithPath(pty.path());
        if (!port) {
            return nullptr;
        }
        controller.setSerialPort(port);
        if (!open) {
            return port;
        }
        controller.openOrClosePort();
        return QTest::qWaitFor([&] { return port->isOpen(); }, 10000) ? port : nullptr;
    }
};

}  // namespace test
