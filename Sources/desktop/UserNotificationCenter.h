#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QVariantList>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

class QDBusError;
class QDBusPendingCall;
class QDBusPendingCallWatcher;
class UserNotification;
class UserNotificationCenterDelegate;

// Halodial's desktop notifications, shown by whichever server owns
// org.freedesktop.Notifications on a D-Bus connection. Every call to the
// server is asynchronous, so a slow or hung server never stalls the window.
//
// Without a bus or a server nothing is shown and nobody is told, except for
// one line on standard error at the first failure in the process: a desktop
// without notifications is an ordinary setup, not an error worth repeating
// on every hot plug.
//
// Main thread only.
class UserNotificationCenter : public QObject {
    Q_OBJECT

public:
    static constexpr const char* applicationName = "Halodial";
    static constexpr const char* desktopEntry = "org.halodial.Halodial";
    // The icon is named after the application id, as its desktop entry is.
    static constexpr const char* applicationIcon = "org.halodial.Halodial";

    // The application's centre, on the session bus, which it joins only at
    // its first call so that a run without notifications never touches the
    // bus. Joining happens after a probe on a thread of its own (at most
    // busProbeDeadline): a bus that accepts the connection and never speaks
    // costs the window nothing; calls made meanwhile wait for the outcome,
    // and are dropped with the one standard-error line unless the bus
    // answered (a silent, unreachable or uncheckable bus is not joined).
    // The QCoreApplication owns it and must exist.
    static constexpr std::chrono::milliseconds busProbeDeadline{1500};
    static UserNotificationCenter& defaultUserNotificationCenter();

    explicit UserNotificationCenter(const QDBusConnection& connection, QObject* parent = nullptr);
    ~UserNotificationCenter() override;

    UserNotificationCenterDelegate* delegate() const;
    void setDelegate(UserNotificationCenterDelegate* delegate);

    // Shows the notification unless the delegate objects; once the server
    // has accepted it, the delegate hears of it with the delivered id set,
    // and a notification with a lifetime is withdrawn when that has passed.
    void deliverNotification(const UserNotification& notification);
    // Withdraws a delivered notification; one never delivered is ignored.
    void removeDeliveredNotification(const UserNotification& notification);

private:
    UserNotificationCenter(std::optional<QDBusConnection> connection, QObject* parent);

    using ReplyHandler = std::function<void(QDBusPendingCallWatcher*)>;
    struct Call {
        QString method;
        QVariantList arguments;
        ReplyHandler handler;
    };

    // Calls the notification server without waiting; the handler hears the
    // outcome (its watcher is gone after it). Before the bus is known the
    // call waits for the probe; without a bus it reports that and the
    // handler never runs.
    void callServer(const QString& method, const QVariantList& arguments, ReplyHandler handler);
    void send(const Call& call);
    void startProbe();
    // `problem` is empty when the bus answered.
    void probeFinished(const QString& problem);
    static void reportUnavailable(const QDBusError& error, const QString& fallbackReason);

    std::optional<QDBusConnection> connection_;
    std::weak_ptr<UserNotificationCenterDelegate> delegate_;
    bool probing_ = false;
    bool busSilent_ = false;
    std::vector<Call> waiting_;
    std::thread probe_;
};
