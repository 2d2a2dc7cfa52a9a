#include "remote/RemoteControlService.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <iostream>

#include "desktop/SessionBusProbe.h"
#include "remote/RemoteInterface.h"

namespace {

// RequestName's flag and answers (D-Bus's own protocol): fail rather than
// queue behind the owner; the name is ours, or was ours already.
constexpr uint doNotQueue = 0x4;
constexpr uint primaryOwner = 1;
constexpr uint alreadyOwner = 4;

}  // namespace

RemoteControlService::RemoteControlService(SerialPortDemoController& controller,
                                           RemoteControlObject::Activator activator, QObject* parent)
    : QObject(parent), object_(controller, std::move(activator))
{
}

RemoteControlService::~RemoteControlService()
{
    if (joiner_.joinable()) {
        joiner_.join();
    }
    if (registered_) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.unregisterObject(QString::fromLatin1(RemoteInterface::path));
        if (ownsName_) {
            // Without waiting for the answer: the bus may be slow to give it.
            QDBusMessage release = QDBusMessage::createMethodCall(
                QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                QStringLiteral("org.freedesktop.DBus"), QStringLiteral("ReleaseName"));
            release << QString::fromLatin1(RemoteInterface::service);
            bus.send(release);
        }
    }
}

void RemoteControlService::start()
{
    if (joiner_.joinable()) {
        return;
    }
    // The outcome comes back as a queued call: the destructor joins the
    // thread first, so the service is there to receive it.
    joiner_ = std::thread([this] {
        QString problem;
        bool noBus = false;
        switch (SessionBusProbe::probeSessionBus(busProbeDeadline)) {
        case SessionBusProbe::Outcome::Answers:
            // The handshake, here rather than on the GUI thread.
            if (!QDBusConnection::sessionBus().isConnected()) {
                problem = QDBusConnection::sessionBus().lastError().message();
            }
            break;
        case SessionBusProbe::Outcome::Silent:
            problem = QStringLiteral("the session bus does not answer");
            break;
        case SessionBusProbe::Outcome::Unreachable:
        case SessionBusProbe::Outcome::Unknown:
            // A service started without a user bus: ordinary, and
            // halodialctl says so to whoever asks.
            noBus = true;
            break;
        }
        QMetaObject::invokeMethod(this, [this, problem, noBus] { joined(problem, noBus); }, Qt::QueuedConnection);
    });
}

void RemoteControlService::joined(const QString& problem, bool noBus)
{
    joiner_.join();
    if (noBus) {
        emit nameSettled(false);
        return;
    }
    if (!problem.isEmpty()) {
        std::cerr << "halodial: no remote control on D-Bus: " << problem.toStdString() << std::endl;
        emit nameSettled(false);
        return;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerVirtualObject(QString::fromLatin1(RemoteInterface::path), &object_)) {
        std::cerr << "halodial: no remote control on D-Bus: " << bus.lastError().message().toStdString() << std::endl;
        emit nameSettled(false);
        return;
    }
    registered_ = true;
    object_.setConnection(bus);
    QDBusMessage request = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("RequestName"));
    request << QString::fromLatin1(RemoteInterface::service) << doNotQueue;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(request), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        const QDBusPendingReply<uint> reply = *call;
        ownsName_ = reply.isValid() && (reply.value() == primaryOwner || reply.value() == alreadyOwner);
        if (!ownsName_) {
            std::cerr << "halodial: another Halodial answers to " << RemoteInterface::service
                      << " on the session bus; this one is not reachable by that name" << std::endl;
        }
        emit nameSettled(ownsName_);
    });
}
