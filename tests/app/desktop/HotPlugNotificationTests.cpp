// Hot-plug notifications end to end: the port manager's notifications go in
// through the library's notification centre; what comes out is checked on
// standard output and at a notification server on a private D-Bus session
// bus that the run starts for itself.
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>
#include <algorithm>
#include <iterator>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

#include "dispatch/MainQueue.h"
#include "support/NotificationCenter.h"
#include "desktop/PrivateSessionBus.h"
#include "desktop/QtMainQueue.h"
#include "support/PseudoTerminal.h"
#include "SerialPortDemoController.h"
#include "devices/UdevDeviceRegistry.h"
#include "support/UniqueFd.h"
#include "desktop/UserNotification.h"
#include "desktop/UserNotificationCenter.h"
#include "desktop/UserNotificationCenterDelegate.h"
#include "VELSerialPort.h"
#include "VELSerialPortManager.h"
#include "devices/VirtualDeviceRegistry.h"

using test::PseudoTerminal;

namespace {

constexpr int kDeadlineMs = 10000;
// Set in the child process whose standard error is checked.
constexpr const char* kChildRole = "HALODIAL_NOTIFICATIONS_CHILD";

// Standard output of this process, sent to a file for a few statements. No
// test macro may run meanwhile: the test log goes to standard output too.
class StandardOutputCapture {
public:
    StandardOutputCapture()
    {
        if (!file_.open()) {
            throw std::runtime_error("no temporary file for standard output");
        }
        std::fflush(stdout);
        saved_.reset(::dup(STDOUT_FILENO));
        ::dup2(file_.handle(), STDOUT_FILENO);
    }

    ~StandardOutputCapture() { restore(); }

    StandardOutputCapture(const StandardOutputCapture&) = delete;
    StandardOutputCapture& operator=(const StandardOutputCapture&) = delete;

    QString take()
    {
        restore();
        file_.seek(0);
        return QString::fromUtf8(file_.readAll());
    }

private:
    void restore()
    {
        if (saved_.get() >= 0) {
            std::fflush(stdout);
            ::dup2(saved_.get(), STDOUT_FILENO);
            saved_.reset();
        }
    }

    QTemporaryFile file_;
    vel::UniqueFd saved_;
};

struct RecordingDelegate : UserNotificationCenterDelegate {
    bool present = true;
    std::vector<UserNotification> delivered;

    void userNotificationCenterDidDeliverNotification(UserNotificationCenter&, const UserNotification& n) override
    {
        delivered.push_back(n);
    }
    bool userNotificationCenterShouldPresentNotification(UserNotificationCenter&, const UserNotification&) override
    {
        return present;
    }
};

void post(const QString& name, vel::UserInfo userInfo)
{
    vel::NotificationCenter::defaultCenter().postNotification(name.toStdString(), nullptr, std::move(userInfo));
}

// Posts a manager notification and gives what the controller wrote.
QString postAndCaptureOutput(const QString& name, vel::UserInfo userInfo)
{
    StandardOutputCapture capture;
    post(name, std::move(userInfo));
    return capture.take();
}

UserNotification notificationTitled(const QString& title)
{
    UserNotification notification;
    notification.setTitle(title);
    return notification;
}

}  // namespace

// A freedesktop notification server that records every call with its time.
// It can hold back its replies to Notify, as a busy or hung server would.
class NotificationServer : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Call {
        QString method;
        QVariantList arguments;  // Notify's end with the id it gave.
        qint64 atMs;
    };

    explicit NotificationServer(const QDBusConnection& connection) : connection_(connection) { clock_.start(); }

    std::vector<Call> calls(const QString& method) const
    {
        std::vector<Call> matching;
        std::copy_if(calls_.begin(), calls_.end(), std::back_inserter(matching),
                     [&](const Call& call) { return call.method == method; });
        return matching;
    }
    std::vector<Call> notifies() const { return calls(QStringLiteral("Notify")); }
    std::vector<Call> closes() const { return calls(QStringLiteral("CloseNotification")); }

    void reset()
    {
        calls_.clear();
        holding_ = false;
    }
    void holdReplies() { holding_ = true; }
    void releaseReplies()
    {
        for (const auto& reply : std::exchange(held_, {})) {
            connection_.send(reply);
        }
    }

public slots:
    uint Notify(const QString& appName, uint replacesId, const QString& appIcon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints, int expireTimeout)
    {
        // Ids far from zero catch a centre that makes its own up.
        const uint id = nextId_++;
        record(QStringLiteral("Notify"), {appName, replacesId, appIcon, summary, body, actions, hints, expireTimeout,
                                          id});
        if (holding_) {
            setDelayedReply(true);
            held_.push_back(message().createReply(QVariant::fromValue(id)));
        }
        return id;
    }

    void CloseNotification(uint id) { record(QStringLiteral("CloseNotification"), {id}); }

    QStringList GetCapabilities() { return {QStringLiteral("body")}; }

    QString GetServerInformation(QString& vendor, QString& version, QString& protocolVersion)
    {
        vendor = QStringLiteral("Halodial tests");
        version = QStringLiteral("1");
        protocolVersion = QStringLiteral("1.2");
        return QStringLiteral("recording server");
    }

private:
    void record(const QString& method, QVariantList arguments)
    {
        calls_.push_back({method, std::move(arguments), clock_.elapsed()});
    }

    QDBusConnection connection_;
    QElapsedTimer clock_;
    std::vector<Call> calls_;
    uint nextId_ = 41;
    bool holding_ = false;
    std::vector<QDBusMessage> held_;
};

class HotPlugNotificationTests : public QObject {
    Q_OBJECT

    const QString clientName_ = QStringLiteral("halodial-client");
    const QString serverName_ = QStringLiteral("halodial-server");
    std::unique_ptr<PrivateSessionBus> bus_;
    std::unique_ptr<NotificationServer> server_;
    std::unique_ptr<UserNotificationCenter> center_;
    PseudoTerminal namedTerminal_;
    PseudoTerminal namelessTerminal_;
    SerialPortDemoController::Ports ports_;  // One port with a name, one without.

    static bool isChild() { return qEnvironmentVariableIsSet(kChildRole); }

    // Delivers a marker straight through the centre and waits for it at the
    // server. Calls on one connection arrive in order, so whatever the code
    // under test sent before has arrived by then.
    bool sentinelArrived(const QString& title)
    {
        center_->deliverNotification(notificationTitled(title));
        for (const QDeadlineTimer deadline(kDeadlineMs); !deadline.hasExpired(); QTest::qWait(10)) {
            const auto shown = server_->notifies();
            if (!shown.empty() && shown.back().arguments.value(3).toString() == title) {
                return true;
            }
        }
        return false;
    }

private slots:
    void initTestCase()
    {
        bus_ = std::make_unique<PrivateSessionBus>();
        QVERIFY(QDBusConnection::connectToBus(bus_->address(), clientName_).isConnected());
        ports_ = {VELSerialPort::initWithPath(namedTerminal_.path()),
                  VELSerialPort::initWithDevice(vel::UdevDeviceRegistry::makeDevice(
                      namelessTerminal_.path(), namelessTerminal_.path(), std::string()))};
        QVERIFY(ports_[0] && !ports_[0]->name().empty());
        QVERIFY(ports_[1] && ports_[1]->name().empty());
        if (isChild()) {
            return;  // The child wants a bus without a server.
        }
        QDBusConnection serverBus = QDBusConnection::connectToBus(bus_->address(), serverName_);
        server_ = std::make_unique<NotificationServer>(serverBus);
        QVERIFY(serverBus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), server_.get(),
                                         QDBusConnection::ExportAllSlots));
        QVERIFY(serverBus.registerService(QStringLiteral("org.freedesktop.Notifications")));
    }

    void init()
    {
        center_ = std::make_unique<UserNotificationCenter>(QDBusConnection(clientName_));
        if (server_) {
            server_->reset();
        }
    }

    void cleanup() { center_.reset(); }

    void cleanupTestCase()
    {
        server_.reset();
        QDBusConnection::disconnectFromBus(serverName_);
        QDBusConnection::disconnectFromBus(clientName_);
        bus_.reset();
    }

    void eachPortGetsOneSilentNotificationThatGoesAway_data()
    {
        QTest::addColumn<QString>("event");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("bodyEnd");
        QTest::addColumn<QString>("category");
        QTest::newRow("connected") << VELSerialPortsWereConnectedNotification << VELConnectedSerialPortsKey
                                   << "Ports were connected: " << "Serial Port Connected"
                                   << " was connected to this computer." << "device.added";
        QTest::newRow("disconnected") << VELSerialPortsWereDisconnectedNotification << VELDisconnectedSerialPortsKey
                                      << "Ports were disconnected: " << "Serial Port Disconnected"
                                      << " was disconnected from this computer." << "device.removed";
    }

    void eachPortGetsOneSilentNotificationThatGoesAway()
    {
        QFETCH(QString, event);
        QFETCH(QString, key);
        QFETCH(QString, line);
        QFETCH(QString, title);
        QFETCH(QString, bodyEnd);
        QFETCH(QString, category);
        SerialPortDemoController controller(*center_);
        const QString name = QString::fromStdString(ports_[0]->name());

        QCOMPARE(postAndCaptureOutput(event, {{key.toStdString(), ports_}}), line + "[" + name + ", ]\n");

        QTRY_COMPARE_WITH_TIMEOUT(server_->notifies().size(), std::size_t{2}, kDeadlineMs);
        const auto shown = server_->notifies();
        const QVariantMap hints{{"suppress-sound", true},
                                {"category", category},
                                {"transient", true},
                                {"desktop-entry", "org.halodial.Halodial"}};
        const QStringList bodies{"Serial Port " + name + bodyEnd, "Serial Port " + bodyEnd};
        for (qsizetype i = 0; i < 2; ++i) {
            const QVariantList expected{"Halodial", 0u, "org.halodial.Halodial", title, bodies[i], QStringList(), hints, -1};
            QCOMPARE(shown[i].arguments.mid(0, 8), expected);
        }

        // Each goes by the id the server gave it, about three seconds after
        // it was shown, and never early.
        QTRY_COMPARE_WITH_TIMEOUT(server_->closes().size(), std::size_t{2}, kDeadlineMs);
        const auto closed = server_->closes();
        for (std::size_t i = 0; i < 2; ++i) {
            QCOMPARE(closed[i].arguments.value(0), shown[i].arguments.value(8));
            QVERIFY2(closed[i].atMs - shown[i].atMs >= 2500, qPrintable(QString::number(closed[i].atMs)));
        }
    }

    void eventsWithoutPortsShowNothing_data()
    {
        QTest::addColumn<QString>("event");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("line");
        QTest::newRow("empty connected") << VELSerialPortsWereConnectedNotification << VELConnectedSerialPortsKey
                                         << "Ports were connected: []\n";
        QTest::newRow("empty disconnected") << VELSerialPortsWereDisconnectedNotification
                                            << VELDisconnectedSerialPortsKey << "Ports were disconnected: []\n";
        QTest::newRow("connected without user info") << VELSerialPortsWereConnectedNotification << "" << "";
        QTest::newRow("disconnected without user info") << VELSerialPortsWereDisconnectedNotification << "" << "";
    }

    void eventsWithoutPortsShowNothing()
    {
        QFETCH(QString, event);
        QFETCH(QString, key);
        QFETCH(QString, line);
        SerialPortDemoController controller(*center_);
        vel::UserInfo userInfo;
        if (!key.isEmpty()) {
            userInfo[key.toStdString()] = SerialPortDemoController::Ports{};
        }
        QCOMPARE(postAndCaptureOutput(event, std::move(userInfo)), line);
        QVERIFY(sentinelArrived(QStringLiteral("sentinel")));
        QCOMPARE(server_->notifies().size(), std::size_t{1});
    }

    // The whole road of an unplug: the registry's removal reaches the
    // manager, the open port cleans up, the controller lets go of it and
    // says so once on standard output and once on the desktop.
    void unpluggingTheOpenPortIsToldOnce()
    {
        if (!vel::MainQueue::hasShared()) {
            vel::MainQueue::setShared(std::make_shared<QtMainQueue>());
        }
        auto& manager = VELSerialPortManager::sharedSerialPortManager();
        SerialPortDemoController controller(*center_, &manager);
        auto device = vel::VirtualDeviceRegistry::shared().createDevice("unplugged");
        const auto listed = [&] {
            for (const auto& port : manager.availablePorts()) {
                if (port->path() == device->path()) {
                    return port;
                }
            }
            return std::shared_ptr<VELSerialPort>();
        };
        QTRY_VERIFY_WITH_TIMEOUT(listed(), kDeadlineMs);
        controller.setSerialPort(listed());
        controller.serialPort()->open();
        QTRY_VERIFY_WITH_TIMEOUT(controller.serialPort()->isOpen(), kDeadlineMs);
        QVERIFY(sentinelArrived(QStringLiteral("before")));
        server_->reset();

        QString output;
        bool dropped = false;
        {
            StandardOutputCapture capture;
            vel::VirtualDeviceRegistry::shared().removeDevice(device);
            device->closeMaster();
            dropped = QTest::qWaitFor([&] { return !controller.serialPort() && !listed(); }, kDeadlineMs);
            output = capture.take();
        }
        QVERIFY(dropped);
        const QString name = QString::fromStdString(device->name());
        const auto lines = output.split(QLatin1Char('\n')).filter(QStringLiteral("Ports were"));
        QCOMPARE(lines, QStringList{"Ports were disconnected: [" + name + "]"});
        QVERIFY(sentinelArrived(QStringLiteral("after")));
        const auto shown = server_->notifies();
        QCOMPARE(shown.size(), std::size_t{2});
        QCOMPARE(shown[0].arguments.value(3).toString(), u"Serial Port Disconnected"_qs);
        QCOMPARE(shown[0].arguments.value(4).toString(), "Serial Port " + name + " was disconnected from this computer.");
    }

    void controllerGoneHearsNothing()
    {
        auto controller = std::make_unique<SerialPortDemoController>(*center_);
        QCOMPARE(center_->delegate(), controller.get());
        controller.reset();
        QCOMPARE(center_->delegate(), nullptr);
        QCOMPARE(postAndCaptureOutput(VELSerialPortsWereConnectedNotification, {{VELConnectedSerialPortsKey, ports_}}),
                 QString());
        QVERIFY(sentinelArrived(QStringLiteral("sentinel")));
        QCOMPARE(server_->notifies().size(), std::size_t{1});
    }

    void centreAsksItsDelegateAndNeverWaitsForTheServer()
    {
        auto delegate = std::make_unique<RecordingDelegate>();
        center_->setDelegate(delegate.get());
        delegate->present = false;
        center_->deliverNotification(notificationTitled(QStringLiteral("held back")));
        delegate->present = true;

        // A sync call would sit out the bus's 25-second reply timeout here.
        server_->holdReplies();
        QElapsedTimer call;
        call.start();
        center_->deliverNotification(notificationTitled(QStringLiteral("shown")));
        QVERIFY2(call.elapsed() < 5000, "deliverNotification waited for the server");
        QTRY_COMPARE_WITH_TIMEOUT(server_->notifies().size(), std::size_t{1}, kDeadlineMs);
        QCOMPARE(server_->notifies()[0].arguments.value(3).toString(), QStringLiteral("shown"));
        QVERIFY(delegate->delivered.empty());

        server_->releaseReplies();
        QTRY_COMPARE_WITH_TIMEOUT(delegate->delivered.size(), std::size_t{1}, kDeadlineMs);
        const UserNotification delivered = delegate->delivered[0];
        QCOMPARE(delivered.title(), QStringLiteral("shown"));
        QCOMPARE(delivered.deliveredId().value_or(0), server_->notifies()[0].arguments.value(8).toUInt());

        // Only a delivered notification can be withdrawn, by its own id.
        center_->removeDeliveredNotification(notificationTitled(QStringLiteral("never shown")));
        center_->removeDeliveredNotification(delivered);
        QTRY_COMPARE_WITH_TIMEOUT(server_->closes().size(), std::size_t{1}, kDeadlineMs);
        QCOMPARE(server_->closes()[0].arguments.value(0).toUInt(), *delivered.deliveredId());

        // A delegate that has gone is forgotten, not called.
        server_->reset();
        delegate.reset();
        QCOMPARE(center_->delegate(), nullptr);
        QVERIFY(sentinelArrived(QStringLiteral("after the delegate")));
    }

    // Runs twice: here it starts the test again as a child and reads the
    // child's standard error; in the child it fails every way it can.
    void unavailableNotificationsWriteOneLineOnly()
    {
        if (isChild()) {
            failEverywhere();
            return;
        }
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QString::fromLatin1(kChildRole), QStringLiteral("1"));
        // Without a runtime directory Qt itself complains on standard error.
        QTemporaryDir runtimeDirectory;
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDirectory.path());
        QProcess child;
        child.setProcessEnvironment(environment);
        child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(QTest::currentTestFunction())});
        QVERIFY(child.waitForFinished(60000));
        const QString output = QString::fromUtf8(child.readAllStandardOutput());
        const QString errors = QString::fromUtf8(child.readAllStandardError());
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, qPrintable(output + errors));
        QVERIFY2(output.contains(QStringLiteral("Ports were connected: [")), qPrintable(output));
        static const QRegularExpression oneLine(
            QStringLiteral("\\AHalodial: desktop notifications are unavailable: [^\\n]+\\n\\z"));
        QVERIFY2(oneLine.match(errors).hasMatch(), qPrintable(errors));
    }

    void realServerShowsAndWithdraws()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("dunst")).isEmpty() ||
            QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty()) {
            QSKIP("needs dunst and Xvfb on PATH");
        }
        PrivateSessionBus dunstBus;
        QProcess xvfb;
        xvfb.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"),
                                            QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        QTRY_VERIFY_WITH_TIMEOUT(xvfb.canReadLine() || xvfb.state() == QProcess::NotRunning, kDeadlineMs);
        const QString display = QString::fromUtf8(xvfb.readLine()).trimmed();
        QVERIFY2(!display.isEmpty(), "Xvfb gave no display");

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DISPLAY"), QStringLiteral(":") + display);
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), dunstBus.address());
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        QProcess dunst;
        dunst.setProcessEnvironment(environment);
        dunst.start(QStringLiteral("dunst"), {});
        const auto stop = qScopeGuard([&] {
            QDBusConnection::disconnectFromBus(QStringLiteral("halodial-dunst"));
            for (QProcess* process : {&dunst, &xvfb}) {
                process->terminate();
                process->waitForFinished(kDeadlineMs);
            }
        });
        QDBusConnection bus = QDBusConnection::connectToBus(dunstBus.address(), QStringLiteral("halodial-dunst"));
        QTRY_VERIFY_WITH_TIMEOUT(bus.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.Notifications")),
                                 kDeadlineMs);
        const auto onScreen = [&] {
            int total = 0;
            for (const char* which : {"displayed", "waiting"}) {
                QProcess count;
                count.setProcessEnvironment(environment);
                count.start(QStringLiteral("dunstctl"), {QStringLiteral("count"), QString::fromLatin1(which)});
                count.waitForFinished(kDeadlineMs);
                total += QString::fromUtf8(count.readAllStandardOutput()).trimmed().toInt();
            }
            return total;
        };

        // The controller writes the notification; the test, not its timer,
        // says when it goes.
        UserNotificationCenter center(bus);
        SerialPortDemoController controller(center);
        RecordingDelegate delegate;
        center.setDelegate(&delegate);
        controller.postUserNotificationForConnectedPorts({ports_[0]});
        QTRY_COMPARE_WITH_TIMEOUT(delegate.delivered.size(), std::size_t{1}, kDeadlineMs);
        QTRY_COMPARE_WITH_TIMEOUT(onScreen(), 1, kDeadlineMs);
        center.removeDeliveredNotification(delegate.delivered[0]);
        QTRY_COMPARE_WITH_TIMEOUT(onScreen(), 0, kDeadlineMs);
    }

private:
    // No bus at all, and a bus without a server, each more than once.
    void failEverywhere()
    {
        const QString nowhereName = QStringLiteral("halodial-nowhere");
        const auto disconnect = qScopeGuard([&] { QDBusConnection::disconnectFromBus(nowhereName); });
        UserNotificationCenter nowhere(
            QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/halodial-bus"), nowhereName));
        SerialPortDemoController controller(nowhere);
        for (int i = 0; i < 2; ++i) {
            post(VELSerialPortsWereConnectedNotification, {{VELConnectedSerialPortsKey, ports_}});
        }
        UserNotification stale = notificationTitled(QStringLiteral("stale"));
        stale.setDeliveredId(7);
        for (int i = 0; i < 2; ++i) {
            nowhere.removeDeliveredNotification(stale);
            center_->deliverNotification(notificationTitled(QStringLiteral("nobody listens")));
            center_->removeDeliveredNotification(stale);
        }
        // The bus answers each call with an error; wait until all are in.
        QTRY_VERIFY_WITH_TIMEOUT(center_->findChildren<QDBusPendingCallWatcher*>().isEmpty(), kDeadlineMs);
    }
};

QTEST_MAIN(HotPlugNotificationTests)
#include "HotPlugNotificationTests.moc"
