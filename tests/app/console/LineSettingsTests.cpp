// The line settings chosen in the window reach the device's terminal
// attributes, come back for the same device in the next run, and DTR and
// RTS go up when the window opens the port.
#include <termios.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QTest>
#include <atomic>

#include "DevicePlayer.h"
#include "MainWindow.h"
#include "SerialPortDemoController.h"
#include "VELSerialPortManager.h"
#include "console/LineSettingsDialog.h"
#include "console/LineStatusWidget.h"
#include "desktop/QtMainQueue.h"
#include "ports/PortLineSettings.h"
#include "settings/SettingsKeeper.h"
#include "ui_LineSettingsDialog.h"
#include "ui_MainWindow.h"

namespace {

constexpr int kDeadlineMs = 10000;

// One run of the window: its controller, the window and what it keeps in
// the settings file.
struct WindowRun {
    SerialPortDemoController controller;
    MainWindow window;
    SettingsKeeper keeper;

    explicit WindowRun(VELSerialPortManager& manager) : controller(&manager), keeper(controller, &window)
    {
        window.connectController(controller, manager);
        keeper.restore();
        keeper.keepLineSettings(*window.lineSettings());
        window.show();
    }
    ~WindowRun()
    {
        keeper.saveAll();
        window.lineSettings()->setStorage({}, {});
    }
};

}  // namespace

class LineSettingsTests : public QObject {
    Q_OBJECT

    VELSerialPortManager* manager_ = nullptr;

    static std::shared_ptr<VELSerialPort> portOf(const DevicePlayer& device)
    {
        std::shared_ptr<VELSerialPort> port;
        const bool found = QTest::qWaitFor(
            [&] { return (port = VELSerialPort::serialPortWithPath(device.path())) != nullptr; }, kDeadlineMs);
        return found ? port : nullptr;
    }

    static bool openInWindow(WindowRun& run)
    {
        run.window.ui().openCloseButton->click();
        return QTest::qWaitFor([&] { return run.controller.portState() == PortStatus::State::Open; }, kDeadlineMs);
    }

    // What the device's terminal is set to. The pseudo-terminal's master
    // reads the attributes its slave, the port, was given.
    static termios attributesOf(const DevicePlayer& device)
    {
        termios attributes{};
        ::tcgetattr(device.masterFd(), &attributes);
        return attributes;
    }

    static void closeAndForget(WindowRun& run)
    {
        const auto port = run.controller.serialPort();
        run.controller.setSerialPort(nullptr);
        QTRY_VERIFY_WITH_TIMEOUT(!port->isOpen(), kDeadlineMs);
    }

private slots:
    void initTestCase()
    {
        vel::MainQueue::setShared(std::make_shared<QtMainQueue>());
        manager_ = &VELSerialPortManager::sharedSerialPortManager();
        // The program's settings file, in this test's own folder, empty.
        QCoreApplication::setOrganizationName(QString::fromLatin1(SettingsStore::organisationName));
        QCoreApplication::setApplicationName(QString::fromLatin1(SettingsStore::applicationName));
        SettingsStore store;
        store.clear();
        QVERIFY(store.sync());
    }

    void cleanup()
    {
        // The next test's device may get the same pseudo-terminal path.
        QVERIFY(DevicePlayer::portsOfWatchedPathsAreGone());
    }

    void chosenSettingsReachTheDeviceAndComeBackNextRun()
    {
        DevicePlayer device("linedev");
        {
            WindowRun run(*manager_);
            const auto port = portOf(device);
            QVERIFY(port);
            run.controller.setSerialPort(port);
            QVERIFY(openInWindow(run));
            // The clock's default, unless chosen otherwise.
            termios attributes = attributesOf(device);
            QCOMPARE(cfgetospeed(&attributes), speed_t(B115200));
            QVERIFY(!(attributes.c_cflag & (PARENB | CSTOPB | CRTSCTS)));

            run.window.ui().lineSettingsButton->click();
            auto* dialog = run.window.findChild<LineSettingsDialog*>();
            QVERIFY(dialog && dialog->isVisible());
            dialog->ui().baudRateBox->setEditText(QStringLiteral("9600"));
            dialog->ui().parityBox->setCurrentIndex(dialog->ui().parityBox->findText(QStringLiteral("Even")));
            dialog->ui().stopBitsBox->setCurrentIndex(dialog->ui().stopBitsBox->findText(QStringLiteral("2")));
            dialog->ui().flowControlCheckBox->setChecked(true);
            dialog->ui().buttonBox->button(QDialogButtonBox::Ok)->click();
            // Flow control is applied through a close and reopen.
            QTRY_VERIFY_WITH_TIMEOUT(port->isOpen() && (attributesOf(device).c_cflag & CRTSCTS), kDeadlineMs);
            attributes = attributesOf(device);
            QCOMPARE(cfgetospeed(&attributes), speed_t(B9600));
            QVERIFY(attributes.c_cflag & CSTOPB);
            // A pseudo-terminal's driver clears PARENB whatever it is given
            // (a serial driver keeps it): the parity is read off the port.
            QCOMPARE(port->parity(), VELSerialParityEven);
            QCOMPARE(run.window.ui().band->currentText(), u"9600"_qs);
            closeAndForget(run);
        }
        // The next run: a new process would have a new port object with the
        // library's defaults. The port manager here keeps its object while
        // the device is listed, so its defaults are put back by hand; what
        // reaches the device then can only come from the settings file.
        WindowRun run(*manager_);
        const auto port = portOf(device);
        QVERIFY(port);
        port->setBaudRate(115200);
        port->setParity(VELSerialParityNone);
        port->setNumberOfStopBits(1);
        port->setUsesRTSCTSFlowControl(false);
        run.controller.setSerialPort(port);
        QVERIFY(openInWindow(run));
        const termios attributes = attributesOf(device);
        QCOMPARE(cfgetospeed(&attributes), speed_t(B9600));
        QCOMPARE(attributes.c_cflag & (CSTOPB | CRTSCTS), tcflag_t(CSTOPB | CRTSCTS));
        QCOMPARE(port->parity(), VELSerialParityEven);
        closeAndForget(run);
    }

    void openingRaisesDtrAndRts()
    {
        // A pseudo-terminal has no modem lines to read back, so the lines
        // are watched where the library tells them: the port's observable
        // DTR and RTS, which it hands to the driver (TIOCMSET) at open, and
        // the window's toggles, which show them.
        DevicePlayer device("raisedev");
        WindowRun run(*manager_);
        const auto port = portOf(device);
        QVERIFY(port);
        QVERIFY(!port->DTR() && !port->RTS());
        std::atomic<int> raised{0};
        const auto dtr = port->addObserver("DTR", [&](const vel::Change& change) { raised += !change.isPrior; });
        const auto rts = port->addObserver("RTS", [&](const vel::Change& change) { raised += !change.isPrior; });
        run.controller.setSerialPort(port);
        QVERIFY(openInWindow(run));
        QVERIFY(port->DTR() && port->RTS());
        QCOMPARE(raised.load(), 2);
        QTRY_VERIFY_WITH_TIMEOUT(run.window.ui().lineStatusWidget->dtrToggle()->isChecked() &&
                                     run.window.ui().lineStatusWidget->rtsToggle()->isChecked(),
                                 kDeadlineMs);
        // Lowered by hand, then closed and opened again: up again.
        port->setDTR(false);
        run.window.ui().openCloseButton->click();
        QTRY_VERIFY_WITH_TIMEOUT(run.controller.portState() == PortStatus::State::Closed, kDeadlineMs);
        QVERIFY(openInWindow(run));
        QVERIFY(port->DTR());
        closeAndForget(run);
    }
};

QTEST_MAIN(LineSettingsTests)
#include "LineSettingsTests.moc"
