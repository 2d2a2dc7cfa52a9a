// A session bus that accepts the connection and never speaks (hung, or half
// started): the first hot-plug notification must not stall the window, the
// console or the time sync. The bus here is a real Unix socket that listens
// and never answers; the process's session bus address points at it before
// anything touches D-Bus. The same again with a TCP bus, in a second run of
// this program (the address is read once per process).
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <cstring>
#include <QTest>
#include <set>

#include "Application.h"
#include "DevicePlayer.h"
#include "SerialPortDemoController.h"
#include "VELSerialPortManager.h"
#include "desktop/QtMainQueue.h"
#include "desktop/SessionBusProbe.h"
#include "support/UniqueFd.h"
#include "virtualclock/VirtualClock.h"

namespace {

const char* const tcpRunVariable = "HALODIAL_TEST_TCP_BUS";

// A TCP socket on the loopback that listens and never accepts; its port.
std::pair<vel::UniqueFd, int> silentTcpListener()
{
    vel::UniqueFd listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (!listener || ::bind(listener.get(), reinterpret_cast<const sockaddr*>(&address), length) != 0 ||
        ::listen(listener.get(), 16) != 0 ||
        ::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return {vel::UniqueFd(), 0};
    }
    return {std::move(listener), ntohs(address.sin_port)};
}

}  // namespace

class HungBusTests : public QObject {
    Q_OBJECT

private:
    QTemporaryDir directory_;
    vel::UniqueFd bus_;

    // Someone knocked: a connection waits to be accepted, which it never is.
    bool busWasContacted() const
    {
        pollfd ready{bus_.get(), POLLIN, 0};
        return ::poll(&ready, 1, 0) > 0;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(directory_.isValid());
        if (qEnvironmentVariableIsSet(tcpRunVariable)) {
            auto [listener, port] = silentTcpListener();
            QVERIFY(listener);
            bus_ = std::move(listener);
            qputenv("DBUS_SESSION_BUS_ADDRESS", "tcp:host=127.0.0.1,port=" + QByteArray::number(port));
            vel::MainQueue::setShared(std::make_shared<QtMainQueue>());
            return;
        }
        const QString path = directory_.filePath(QStringLiteral("bus"));
        bus_.reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.toLocal8Bit().constData(), sizeof address.sun_path - 1);
        QVERIFY(::bind(bus_.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0);
        QVERIFY(::listen(bus_.get(), 16) == 0);
        qputenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + path).toLocal8Bit());
        vel::MainQueue::setShared(std::make_shared<QtMainQueue>());
    }

    void cleanup() { QVERIFY(DevicePlayer::portsOfWatchedPathsAreGone()); }

    void hotPlugNotificationLeavesTheSyncRunning()
    {
        Application application(VELSerialPortManager::sharedSerialPortManager());
        ApplicationOptions options;
        options.simulate = true;
        options.open = true;
        options.sync = true;
        QVERIFY(!application.start(options));
        VirtualClock* clock = application.virtualClock();
        DevicePlayer::watch(clock->devicePath().toStdString());
        // The clock's arrival is a hot plug: its notification goes to the bus.
        QTRY_VERIFY_WITH_TIMEOUT(busWasContacted(), 10000);

        // Frames keep coming: the clock shows second after second, through
        // and well past the time the bus is given to answer.
        std::set<QString> shown;
        QElapsedTimer elapsed;
        elapsed.start();
        while (elapsed.elapsed() < 4500) {
            QTest::qWait(50);
            const ClockFrame& tubes = clock->tubes();
            shown.insert(tubes.digits[0] + tubes.digits[1] + tubes.digits[2] + tubes.digits[3] + tubes.digits[4] +
                         tubes.digits[5]);
        }
        QVERIFY2(shown.size() >= 4, qPrintable(QString::number(shown.size())));
    }

    void probeTellsSilenceFromAbsence()
    {
        using Outcome = SessionBusProbe::Outcome;
        QCOMPARE(SessionBusProbe::probeSessionBus(std::chrono::milliseconds(200)), Outcome::Silent);
        QCOMPARE(SessionBusProbe::probe(u"unix:path="_qs + directory_.filePath(u"none"_qs),
                                        std::chrono::milliseconds(200)),
                 Outcome::Unreachable);
        auto [tcp, port] = silentTcpListener();
        QVERIFY(tcp);
        const QString tcpAddress = u"tcp:host=127.0.0.1,port="_qs + QString::number(port);
        QElapsedTimer elapsed;
        elapsed.start();
        QCOMPARE(SessionBusProbe::probe(tcpAddress, std::chrono::milliseconds(200)), Outcome::Silent);
        QVERIFY(elapsed.elapsed() < 5000);
        // The first entry that connects is the bus, as for libdbus.
        QCOMPARE(SessionBusProbe::probe(u"unix:path="_qs + directory_.filePath(u"none"_qs) + u";"_qs + tcpAddress,
                                        std::chrono::milliseconds(200)),
                 Outcome::Silent);
        tcp.reset();
        QCOMPARE(SessionBusProbe::probe(tcpAddress, std::chrono::milliseconds(200)), Outcome::Unreachable);
        // What cannot be checked is not joined blindly.
        QCOMPARE(SessionBusProbe::probe(u"autolaunch:"_qs, std::chrono::milliseconds(200)), Outcome::Unknown);
    }

    void aTcpBusThatNeverAnswersLeavesTheSyncRunning()
    {
        if (qEnvironmentVariableIsSet(tcpRunVariable)) {
            QSKIP("this is the run with the TCP bus");
        }
        QProcess run;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QString::fromLatin1(tcpRunVariable), u"1"_qs);
        run.setProcessEnvironment(environment);
        run.setProcessChannelMode(QProcess::ForwardedChannels);
        run.start(QCoreApplication::applicationFilePath(), {u"hotPlugNotificationLeavesTheSyncRunning"_qs});
        QVERIFY(run.waitForFinished(120000));
        QCOMPARE(run.exitStatus(), QProcess::NormalExit);
        QCOMPARE(run.exitCode(), 0);
    }
};

QTEST_MAIN(HungBusTests)
#include "HungBusTests.moc"
