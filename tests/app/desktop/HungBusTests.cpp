// A session bus that accepts the connection and never speaks (hung, or half
// started): the first hot-plug notification must not stall the window, the
// console or the time sync. The bus here is a real Unix socket that listens
// and never answers; the process's session bus address points at it before
// anything touches D-Bus.
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <QElapsedTimer>
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
        QCOMPARE(SessionBusProbe::probe(u"tcp:host=localhost,port=1"_qs, std::chrono::milliseconds(200)),
                 Outcome::Unknown);
    }
};

QTEST_MAIN(HungBusTests)
#include "HungBusTests.moc"
