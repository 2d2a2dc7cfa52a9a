// What the window tells the user: the status line and its plain-words
// problems against real pseudo-terminals (held by another process, unreadable,
// hung up), the headless run's exit status, the controls that follow the
// port's state, the tube fields and the digits on the wire.
#include <fcntl.h>
#include <pty.h>
#include <grp.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <array>
#include <climits>
#include <iostream>
#include <sstream>

#include "Application.h"
#include "ColorWell.h"
#include "DevicePlayer.h"
#include "MainWindow.h"
#include "ports/PortProblem.h"
#include "support/PseudoTerminal.h"
#include "SerialPortDemoController.h"
#include "VELSerialPort.h"
#include "VELSerialPortManager.h"
#include "desktop/QtMainQueue.h"
#include "support/NormalUser.h"
#include "support/UniqueFd.h"
#include "virtualclock/VirtualClock.h"
#include "virtualclock/VirtualClockWindow.h"
#include "ui_MainWindow.h"

using test::PseudoTerminal;

namespace {

constexpr int kDeadlineMs = 10000;

// Standard output, collected while it lives.
class CoutCapture {
public:
    CoutCapture() : saved_(std::cout.rdbuf(buffer_.rdbuf())) {}
    ~CoutCapture() { std::cout.rdbuf(saved_); }
    CoutCapture(const CoutCapture&) = delete;
    CoutCapture& operator=(const CoutCapture&) = delete;
    QString text() const { return QString::fromStdString(buffer_.str()); }

private:
    std::ostringstream buffer_;
    std::streambuf* saved_;
};

// The group a device node has: as root, the test gives the node to dialout
// as a serial device has it (a pseudo-terminal in a container may belong to
// root, for which there is no hint to give).
QString givenToDialout(const std::string& path)
{
    if (::geteuid() == 0) {
        if (const group* dialout = ::getgrnam("dialout")) {
            ::chown(path.c_str(), static_cast<uid_t>(-1), dialout->gr_gid);
        }
    }
    struct stat node {};
    ::stat(path.c_str(), &node);
    const group* owner = ::getgrgid(node.st_gid);
    return owner ? QString::fromLocal8Bit(owner->gr_name) : QString();
}

QString statusOf(Application& application)
{
    return application.window().statusLine()->text();
}

}  // namespace

class StatusLineTests : public QObject {
    Q_OBJECT

private:
    VELSerialPortManager* manager_ = nullptr;

private slots:
    void initTestCase()
    {
        vel::MainQueue::setShared(std::make_shared<QtMainQueue>());
        manager_ = &VELSerialPortManager::sharedSerialPortManager();
    }

    void cleanup()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QVERIFY(DevicePlayer::portsOfWatchedPathsAreGone());
    }

    void busyPortNamesItsHolder()
    {
        PseudoTerminal terminal;
        DevicePlayer::watch(terminal.path());
        const QString path = QString::fromStdString(terminal.path());
        QProcess holder;
        holder.start(QStringLiteral("flock"), {QStringLiteral("--exclusive"), path, QStringLiteral("sleep"),
                                               QStringLiteral("60")});
        QVERIFY(holder.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(PortProblem::holderOf(path).has_value(), kDeadlineMs);
        QCOMPARE(PortProblem::holderOf(path)->pid, static_cast<pid_t>(holder.processId()));

        Application application(*manager_);
        ApplicationOptions options;
        options.portPath = path;
        options.open = true;
        QVERIFY(!application.start(options));
        const QString expected = path + " is in use by flock, process " + QString::number(holder.processId()) + ".";
        QTRY_VERIFY_WITH_TIMEOUT(statusOf(application).contains(expected), kDeadlineMs);
        QVERIFY2(statusOf(application).startsWith(QString::fromStdString(application.controller().serialPort()->name()) +
                                                  " is closed."),
                 qPrintable(statusOf(application)));
        QCOMPARE(application.window().ui().openCloseButton->text(), u"Open"_qs);
        holder.kill();
        holder.waitForFinished();
        application.controller().setSerialPort(nullptr);
    }

    void plainWordsForTheCommonFailures()
    {
        PseudoTerminal terminal;
        const QString path = QString::fromStdString(terminal.path());
        // The hint names the node's own group, not a fixed one.
        const QString group = givenToDialout(terminal.path());
        QVERIFY(!group.isEmpty());
        QCOMPARE(PortProblem::groupOf(path), group);
        QCOMPARE(PortProblem::describe(EACCES, path),
                 "Permission denied for " + path + ". Add yourself to the group " + group + " (sudo usermod -aG " +
                     group + " $USER) and log in again.");
        QCOMPARE(PortProblem::describe(ENXIO, u"/dev/ttyUSB9"_qs), u"No device at /dev/ttyUSB9 (unplugged?)"_qs);
        QCOMPARE(PortProblem::describe(EIO, path), path + ": Input/output error");
        // Nobody else has it: no holder is made up.
        QVERIFY(!PortProblem::holderOf(path));
        QCOMPARE(PortProblem::describe(EWOULDBLOCK, path), path + " is in use by another program.");

        // The exclusive flag left behind on a terminal that lives on (its
        // master stays open): a normal user is refused, and no one holds it.
        PseudoTerminal flagged(PseudoTerminal::Slave::Closed);
        const QString flaggedPath = QString::fromStdString(flagged.path());
        QVERIFY(test::handToNobody(flagged.path()));
        {
            const vel::UniqueFd setter(::open(flagged.path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
            QVERIFY(setter);
            QCOMPARE(::ioctl(setter.get(), TIOCEXCL), 0);
        }
        QCOMPARE(test::openErrorAsNormalUser(flagged.path()), EBUSY);
        QVERIFY(!PortProblem::holderOf(flaggedPath));
        const QString flaggedMessage = PortProblem::describe(EBUSY, flaggedPath);
        QVERIFY2(flaggedMessage.startsWith(flaggedPath + " is set to exclusive use, but no program holds it.") &&
                     flaggedMessage.contains("termios.TIOCNXCL"),
                 qPrintable(flaggedMessage));
    }

    void headlessPermissionFailureExitsWithTheMessage()
    {
        PseudoTerminal terminal;
        const QString path = QString::fromStdString(terminal.path());
        const QString group = givenToDialout(terminal.path());
        QCOMPARE(::chmod(terminal.path().c_str(), 0), 0);
        QProcess process;
        // Root opens anything: the run gets an ordinary user's privileges.
        if (::geteuid() == 0) {
            const passwd* nobody = ::getpwnam("nobody");
            QVERIFY(nobody);
            const uid_t uid = nobody->pw_uid;
            const gid_t gid = nobody->pw_gid;
            process.setChildProcessModifier([uid, gid] {
                if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0) {
                    ::_exit(99);
                }
            });
        }
        process.start(QStringLiteral(HALODIAL_BINARY),
                      {u"--port"_qs, path, u"--open"_qs, u"-platform"_qs, u"offscreen"_qs});
        QVERIFY(process.waitForFinished(60000));
        const QString errors = QString::fromLocal8Bit(process.readAllStandardError());
        QCOMPARE(process.exitCode(), 1);
        QVERIFY2(errors.contains("Permission denied for " + path + ". Add yourself to the group " + group + " "),
                 qPrintable(errors));
    }

    void hangUpIsSeenInTheWindowAndEndsAHeadlessRun()
    {
        {
            PseudoTerminal terminal(PseudoTerminal::Slave::Closed);
            DevicePlayer::watch(terminal.path());
            Application application(*manager_);
            ApplicationOptions options;
            options.portPath = QString::fromStdString(terminal.path());
            options.open = true;
            QVERIFY(!application.start(options));
            Ui::MainWindow& ui = application.window().ui();
            QTRY_COMPARE_WITH_TIMEOUT(ui.openCloseButton->text(), u"Close"_qs, kDeadlineMs);
            QVERIFY2(statusOf(application).contains(" is open."), qPrintable(statusOf(application)));

            CoutCapture output;
            terminal.hangUp();
            QTRY_VERIFY_WITH_TIMEOUT(statusOf(application).contains(u"is gone"_qs), kDeadlineMs);
            QCOMPARE(ui.openCloseButton->text(), u"Open"_qs);
            QVERIFY(!ui.openCloseButton->isEnabled());
            QCOMPARE(output.text().count(u"went away"_qs), 1);
            QVERIFY2(output.text().contains(QString::fromStdString(terminal.path())), qPrintable(output.text()));
        }
        {
            PseudoTerminal terminal(PseudoTerminal::Slave::Closed);
            const QString path = QString::fromStdString(terminal.path());
            QProcess process;
            process.start(QStringLiteral(HALODIAL_BINARY),
                          {u"--port"_qs, path, u"--open"_qs, u"-platform"_qs, u"offscreen"_qs});
            QVERIFY(process.waitForStarted());
            // Open once the run holds the port's lock.
            QTRY_VERIFY_WITH_TIMEOUT(PortProblem::holderOf(path) &&
                                         PortProblem::holderOf(path)->pid == process.processId(),
                                     kDeadlineMs);
            terminal.hangUp();
            QVERIFY(process.waitForFinished(60000));
            QCOMPARE(process.exitCode(), 1);
            const QString errors = QString::fromLocal8Bit(process.readAllStandardError());
            QVERIFY2(errors.contains(path + " went away"), qPrintable(errors));
        }
    }

    void controlsFollowThePortsState()
    {
        Application application(*manager_);
        Ui::MainWindow& ui = application.window().ui();
        SerialPortDemoController& controller = application.controller();
        // The wells' colours are in the tubes from the start.
        const std::array<QLineEdit*, 6> tubes{ui.tube1, ui.tube2, ui.tube3, ui.tube4, ui.tube5, ui.tube6};
        const std::array<ColorWell*, 6> wells{ui.col1, ui.col2, ui.col3, ui.col4, ui.col5, ui.col6};
        for (int i = 0; i < 6; ++i) {
            QCOMPARE(tubes[i]->palette().color(QPalette::Text).rgb(), wells[i]->color().rgb());
        }
        QCOMPARE(application.window().statusLine()->text(), u"No port chosen."_qs);
        QVERIFY(!ui.openCloseButton->isEnabled());
        QVERIFY(!ui.send1->isEnabled() && !ui.saveButton->isEnabled());
        QVERIFY(ui.senddate->isEnabled());

        DevicePlayer device("state");
        controller.setSerialPort(VELSerialPort::initWithPath(device.path()));
        QVERIFY(ui.openCloseButton->isEnabled());
        QVERIFY(!ui.send1->isEnabled() && !ui.saveButton->isEnabled());
        ui.openCloseButton->click();
        QTRY_VERIFY_WITH_TIMEOUT(ui.send1->isEnabled() && ui.saveButton->isEnabled(), kDeadlineMs);
        QVERIFY(statusOf(application).startsWith(QString::fromStdString(device.name()) + " is open."));
        ui.openCloseButton->click();
        QTRY_VERIFY_WITH_TIMEOUT(!ui.send1->isEnabled() && !ui.saveButton->isEnabled(), kDeadlineMs);
        QVERIFY(statusOf(application).startsWith(QString::fromStdString(device.name()) + " is closed."));
        controller.setSerialPort(nullptr);
    }

    void tubeFieldsHoldWholeCharactersAndAsciiDigits()
    {
        Application application(*manager_);
        Ui::MainWindow& ui = application.window().ui();
        SerialPortDemoController& controller = application.controller();
        application.window().show();
        QVERIFY(QTest::qWaitForWindowExposed(&application.window()));
        ui.tube3->clear();
        ui.tube3->setFocus();
        // Typed one key at a time, as a keyboard (or an input method) does.
        for (const QString& key : {u"1"_qs, QString::fromUtf8("\xF0\x9F\x98\x80"), u"7"_qs}) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, key);
            QApplication::sendEvent(ui.tube3, &press);
        }
        QCOMPARE(ui.tube3->text(), QString::fromUtf8("1\xF0\x9F\x98\x80"));

        // Whatever the user's locale, the wire carries 0 to 9.
        QLocale::setDefault(QLocale(QLocale::Arabic, QLocale::Egypt));
        PseudoTerminal terminal;
        DevicePlayer::watch(terminal.path());
        controller.setClock([] { return QTime(12, 34, 56); });
        controller.setSerialPort(VELSerialPort::initWithPath(terminal.path()));
        controller.openOrClosePort();
        QTRY_COMPARE_WITH_TIMEOUT(controller.portState(), SerialPortDemoController::PortState::Open, kDeadlineMs);
        controller.tickDown();
        const QByteArray frame = terminal.take(43);
        QCOMPARE(frame.size(), 43);
        QVERIFY(terminal.staysSilentFor(std::chrono::milliseconds(100)));
        QCOMPARE(frame.at(0), '/');
        QByteArray digits;
        for (int i = 0; i < 6; ++i) {
            digits += frame.at(1 + 7 * i);
        }
        QCOMPARE(digits, QByteArray("123456"));
        QCOMPARE(ui.tube1->text() + ui.tube6->text(), u"16"_qs);
        controller.setSerialPort(nullptr);
    }

    void noTimeFrameQueuesBehindWaitingBytes()
    {
        Application application(*manager_);
        SerialPortDemoController& controller = application.controller();
        Ui::MainWindow& ui = application.window().ui();
        PseudoTerminal terminal;
        DevicePlayer::watch(terminal.path());
        const auto port = VELSerialPort::initWithPath(terminal.path());
        controller.setSerialPort(port);
        controller.openOrClosePort();
        QTRY_COMPARE_WITH_TIMEOUT(controller.portState(), SerialPortDemoController::PortState::Open, kDeadlineMs);

        // The device reads nothing: most of the text waits in the queue.
        const qsizetype textSize = 256 * 1024;
        controller.sendString(QString(textSize, u'x'));
        QVERIFY(port->queuedOutputByteCount() > 0);
        controller.setClock([] { return QTime(7, 8, 9); });
        controller.tickDown();
        QCOMPARE(ui.tube1->text() + ui.tube2->text() + ui.tube6->text(), u"079"_qs);
        // A save frame still goes behind the text.
        controller.save();

        // On the wire: the text, then the save frame, and no time frame in
        // between.
        const QByteArray received = terminal.take(textSize + 43);
        QCOMPARE(received.size(), textSize + 43);
        QCOMPARE(received.left(textSize).count('x'), textSize);
        QCOMPARE(received.at(textSize), '*');
        QTRY_COMPARE_WITH_TIMEOUT(port->queuedOutputByteCount(), std::size_t{0}, kDeadlineMs);
        controller.tickDown();
        QCOMPARE(terminal.take(43).left(2), QByteArray("/0"));
        controller.setSerialPort(nullptr);
    }

    // Last: the run's own event loop is ended by closing the window.
    void closingTheMainWindowEndsASimulatedRun()
    {
        Application application(*manager_);
        ApplicationOptions options;
        options.simulate = true;
        options.open = true;
        QVERIFY(!application.start(options));
        DevicePlayer::watch(application.virtualClock()->devicePath().toStdString());
        QVERIFY(application.virtualClockWindow()->isVisible());
        QTimer::singleShot(200, &application.window(), [&application] { application.window().close(); });
        // Not ended by closing: the watchdog's status tells.
        QTimer::singleShot(30000, [] { QCoreApplication::exit(3); });
        QCOMPARE(QApplication::exec(), 0);
        QVERIFY(!application.virtualClockWindow()->isVisible());
        application.controller().setSerialPort(nullptr);
    }
};

QTEST_MAIN(StatusLineTests)
#include "StatusLineTests.moc"
