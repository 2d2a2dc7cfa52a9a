#include "desktop/UserNotificationCenter.h"

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

UserNotificationCenter::~UserNotificationCenter() = default;

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
    QDBusPendingCallWatcher* watcher =
        callServer(QStringLiteral("Notify"),
                   {QString::fromLatin1(applicationName), replacesNothing, QString::fromLatin1(applicationIcon), notification.title(),
                    notification.informativeText(), QStringList(), hintsFor(notification), serverDefaultExpiry});
    if (!watcher) {
        return;
    }
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, notification](QDBusPendingCallWatcher* done) {
        const QDBusPendingReply<quint32> reply = *done;
        if (reply.isError()) {
            reportUnavailable(reply.error(), QStringLiteral("the notification server failed"));
            return;
        }
        UserNotification delivered = notification;
        delivered.setDeliveredId(reply.value());
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
    QDBusPendingCallWatcher* watcher =
        callServer(QStringLiteral("CloseNotification"), {*notification.deliveredId()});
    if (!watcher) {
        return;
    }
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [](QDBusPendingCallWatcher* done) {
        if (done->isError() && meansUnavailable(done->error())) {
            reportUnavailable(done->error(), QStringLiteral("the notification server failed"));
        }
    });
}

QDBusPendingCallWatcher* UserNotificationCenter::callServer(const QString& method, const QVariantList& arguments)
{
    if (!connection_) {
        connection_ = QDBusConnection::sessionBus();
    }
    if (!connection_->isConnected()) {
        reportUnavailable(connection_->lastError(), QStringLiteral("no D-Bus session bus"));
        return nullptr;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(notificationsService, notificationsPath, notificationsInterface, method);
    call.setArguments(arguments);
    auto* watcher = new QDBusPendingCallWatcher(connection_->asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, watcher, &QObject::deleteLater);
    return watcher;
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
