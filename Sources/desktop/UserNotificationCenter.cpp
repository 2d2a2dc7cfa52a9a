#include "desktop/UserNotificationCenter.h"

#include <QTimer>

#include <QCoreApplication>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QPointer>
#include <QVariantMap>
#include <iostream>
#include <mutex>
#include <stdexcept>

#include "desktop/SessionBusProbe.h"
#include "desktop/UserNotification.h"
#include "desktop/UserNotificationCenterDelegate.h"

namespace {

const QString notificationsService = QStringLiteral("org.freedesktop.Notifications");
const QString notificationsPath = QStringLiteral("/org/freedesktop/Notifications");
const QString notificationsInterface = QStringLiteral("org.freedesktop.Notifications");

// Let the server pick how long a notification stays up.
constexpr qint32 serverDefaultExpiry = -1;
// Zero asks for a new notification rather than replacing one.
constexpr quint32 replacesNothing = 0;

QVariantMap hintsFor(const UserNotification& notification)
{
    QVariantMap hints;
    if (const auto& sound = notification.soundName()) {
        hints.insert(QStringLiteral("sound-name"), *sound);
    } else {
        hints.insert(QStringLiteral("suppress-sound"), true);
    }
    if (!notification.category().isEmpty()) {
        hints.insert(QStringLiteral("category"), notification.category());
    }
    // Hot-plug news is stale within seconds; keep it out of the server's
    // history.
    hints.insert(QStringLiteral("transient"), true);
    hints.insert(QStringLiteral("desktop-entry"), QString::fromLatin1(UserNotificationCenter::desktopEntry));
    return hints;
}

// A close that the server refuses with an error of its own (the notification
// expired or was dismissed already) says nothing about availability.
bool meansUnavailable(const QDBusError& error)
{
    return error.type() != QDBusError::Other;
}

}  // namespace

UserNotificationCenter& UserNotificationCenter::defaultUserNotificationCenter()
{
    static QPointer<UserNotificationCenter> center;
    if (!center) {
        QCoreApplication* application = QCoreApplication::instance();
        if (!application) {
            throw std::logic_error("The default user notification center needs a QCoreApplication");
        }
        center = new UserNotificationCenter(std::nullopt, application);
    }
    return *center;
}

UserNotificationCenter::UserNotificationCenter(const QDBusConnection& connection, QObject* parent)
    : UserNotificationCenter(std::optional<QDBusConnection>(connection), parent)
{
}

UserNotificationCenter::UserNotificationCenter(std::optional<QDBusConnection> connection, QObject* parent)
    : QObject(parent), connection_(std::move(connection))
{
}

UserNotificationCenter::~UserNotificationCenter()
{
    // The probe ends by its deadline at the latest.
    if (probe_.joinable()) {
        probe_.join();
    }
}

UserNotificationCenterDelegate* UserNotificationCenter::delegate() const
{
    return delegate_.lock().get();
}

void UserNotificationCenter::setDelegate(UserNotificationCenterDelegate* delegate)
{
    delegate_ = delegate ? delegate->weakReference() : std::weak_ptr<UserNotificationCenterDelegate>();
}

void UserNotificationCenter::deliverNotification(const UserNotification& notification)
{
    if (const auto delegate = delegate_.lock();
        delegate && !delegate->userNotificationCenterShouldPresentNotification(*this, notification)) {
        return;
    }
    callServer(QStringLiteral("Notify"),
               {QString::fromLatin1(applicationName), replacesNothing, QString::fromLatin1(applicationIcon),
                notification.title(), notification.informativeText(), QStringList(), hintsFor(notification),
                serverDefaultExpiry},
               [this, notification](QDBusPendingCallWatcher* done) {
                   const QDBusPendingReply<quint32> reply = *done;
                   if (reply.isError()) {
                       reportUnavailable(reply.error(), QStringLiteral("the notification server failed"));
                       return;
                   }
                   UserNotification delivered = notification;
                   delivered.setDeliveredId(reply.value());
                   if (const auto lifetime = delivered.lifetime()) {
                       // The centre is the timer's context: the removal
                       // happens whoever asked for the notification, and
                       // even once they are gone.
                       QTimer::singleShot(*lifetime, Qt::PreciseTimer, this,
                                          [this, delivered] { removeDeliveredNotification(delivered); });
                   }
                   if (const auto delegate = delegate_.lock()) {
                       delegate->userNotificationCenterDidDeliverNotification(*this, delivered);
                   }
               });
}

void UserNotificationCenter::removeDeliveredNotification(const UserNotification& notification)
{
    if (!notification.isDelivered()) {
        return;
    }
    callServer(QStringLiteral("CloseNotification"), {*notification.deliveredId()}, [](QDBusPendingCallWatcher* done) {
        if (done->isError() && meansUnavailable(done->error())) {
            reportUnavailable(done->error(), QStringLiteral("the notification server failed"));
        }
    });
}

void UserNotificationCenter::callServer(const QString& method, const QVariantList& arguments, ReplyHandler handler)
{
    Call call{method, arguments, std::move(handler)};
    if (connection_) {
        send(call);
        return;
    }
    if (busSilent_) {
        return;
    }
    waiting_.push_back(std::move(call));
    startProbe();
}

void UserNotificationCenter::startProbe()
{
    if (probing_) {
        return;
    }
    probing_ = true;
    // The outcome comes back as a queued call: the destructor joins the
    // thread first, so the centre is there to receive it.
    probe_ = std::thread([this] {
        const SessionBusProbe::Outcome outcome = SessionBusProbe::probeSessionBus(busProbeDeadline);
        QString problem;
        switch (outcome) {
        case SessionBusProbe::Outcome::Answers:
            break;
        case SessionBusProbe::Outcome::Silent:
            problem = QStringLiteral("the session bus does not answer");
            break;
        case SessionBusProbe::Outcome::Unreachable:
            problem = QStringLiteral("the session bus cannot be reached");
            break;
        case SessionBusProbe::Outcome::Unknown:
            problem = QStringLiteral("no session bus address that can be checked: ") +
                      qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
            break;
        }
        QMetaObject::invokeMethod(this, [this, problem] { probeFinished(problem); }, Qt::QueuedConnection);
    });
}

void UserNotificationCenter::probeFinished(const QString& problem)
{
    if (probe_.joinable()) {
        probe_.join();
    }
    probing_ = false;
    std::vector<Call> calls = std::exchange(waiting_, {});
    if (!problem.isEmpty()) {
        // Qt DBus joins a bus on a thread that every D-Bus call shares, the
        // window's included, and without a deadline; so only a bus that
        // answered the probe is joined, whatever its kind of address.
        busSilent_ = true;
        reportUnavailable(QDBusError(), problem);
        return;
    }
    connection_ = QDBusConnection::sessionBus();
    for (const Call& call : calls) {
        send(call);
    }
}

void UserNotificationCenter::send(const Call& call)
{
    if (!connection_->isConnected()) {
        reportUnavailable(connection_->lastError(), QStringLiteral("no D-Bus session bus"));
        return;
    }
    QDBusMessage message =
        QDBusMessage::createMethodCall(notificationsService, notificationsPath, notificationsInterface, call.method);
    message.setArguments(call.arguments);
    auto* watcher = new QDBusPendingCallWatcher(connection_->asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, watcher, &QObject::deleteLater);
    if (call.handler) {
        connect(watcher, &QDBusPendingCallWatcher::finished, this, call.handler);
    }
}

void UserNotificationCenter::reportUnavailable(const QDBusError& error, const QString& fallbackReason)
{
    static std::once_flag reported;
    std::call_once(reported, [&] {
        QString reason = error.isValid() && !error.message().isEmpty() ? error.message() : fallbackReason;
        reason.replace(QLatin1Char('\n'), QLatin1Char(' '));
        std::cerr << "Halodial: desktop notifications are unavailable: " << reason.toStdString() << std::endl;
    });
}
