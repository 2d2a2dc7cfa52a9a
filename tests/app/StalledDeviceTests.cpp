// A device that stops reading, behind the real window and controller on the
// offscreen platform: the console's sends and the time sync must leave the
// main thread free, and once the device reads again everything sent arrives
// in order. (The bound of the port's queue and its one ENOBUFS report are
// the library's tests' business.)
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <memory>

#include "MainWindow.h"
#include "support/PseudoTerminal.h"
#include "SerialPortDemoController.h"
#include "VELSerialPort.h"
#include "VELSerialPortManager.h"
#include "desktop/QtMainQueue.h"
#include "ui_MainWindow.h"

using test::PseudoTerminal;

class StalledDeviceTests : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { vel::MainQueue::setShared(std::make_shared<QtMainQueue>()); }

    void sendsAndSyncKeepTheMainThreadFreeAndLoseNothing()
    {
        auto& manager = VELSerialPortManager::sharedSerialPortManager();
        SerialPortDemoController controller(&manager);
        MainWindow window;
        window.connectController(controller, manager);
        PseudoTerminal device;  // Nobody reads its master until the end.

        auto port = VELSerialPort::initWithPath(device.path());
        QVERIFY(port);
        controller.setSerialPort(port);
        port->open();
        QTRY_VERIFY_WITH_TIMEOUT(port->isOpen(), 10000);

        // The longest gap between ticks of a 10 ms timer on the main thread.
        QElapsedTimer sinceTick;
        qint64 longestGap = 0;
        QTimer ticks;
        ticks.setTimerType(Qt::PreciseTimer);
        connect(&ticks, &QTimer::timeout, [&] {
            longestGap = std::max(longestGap, sinceTick.restart());
        });

        controller.senddate();
        QStringList lines;
        // A user sending a console line every 100 ms, fifty of them: five
        // seconds, far more than the terminal buffers.
        QTimer typist;
        connect(&typist, &QTimer::timeout, [&] {
            const QString line = QStringLiteral("line %1 ").arg(lines.size(), 3, 10, QLatin1Char('0')) +
                                 QString(4000, QLatin1Char('x'));
            window.ui().sendTextField->setText(line);
            window.ui().send1->click();
            lines.append(line);
        });
        sinceTick.start();
        ticks.start(10);
        typist.start(100);
        QVERIFY(QTest::qWaitFor([&] { return lines.size() >= 50; }, 60000));
        typist.stop();
        ticks.stop();
        controller.stop();
        QVERIFY(port->queuedOutputByteCount() > 0);
        // A main thread stuck in a write would show a gap of seconds; the
        // bound leaves room for a loaded machine.
        QVERIFY2(longestGap < 200, qPrintable(QStringLiteral("longest gap %1 ms").arg(longestGap)));

        // The device reads again: every line arrives whole, in order (time
        // frames in between).
        QByteArray received;
        QVERIFY(QTest::qWaitFor(
            [&] {
                received += device.takeAll();
                return received.contains(lines.back().toUtf8()) && port->queuedOutputByteCount() == 0;
            },
            60000));
        qsizetype at = 0;
        for (const QString& line : lines) {
            const qsizetype found = received.indexOf(line.toUtf8(), at);
            QVERIFY2(found >= 0, qPrintable(line.left(12)));
            at = found + line.size();
        }
        port->close();
        QTRY_VERIFY_WITH_TIMEOUT(!port->isOpen(), 10000);
    }
};

QTEST_MAIN(StalledDeviceTests)
#include "StalledDeviceTests.moc"
