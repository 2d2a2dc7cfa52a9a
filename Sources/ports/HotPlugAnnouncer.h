#pragma once

#include <QObject>
#include <QPointer>
#include <chrono>
#include <memory>
#include <vector>

class UserNotificationCenter;
class VELSerialPort;

namespace vel {
struct Notification;
}

// Tells of serial ports plugged in or removed: for each event of the port
// manager one line on standard output ("Ports were connected: [ttyUSB0]"),
// and one silent desktop notification per port, which the notification
// centre withdraws again a few seconds after it was shown. Remembers which
// ports it announced as gone, so that nobody announces them twice. GUI
// thread.
class HotPlugAnnouncer : public QObject {
    Q_OBJECT

public:
    using Ports = std::vector<std::shared_ptr<VELSerialPort>>;

    static constexpr std::chrono::milliseconds deliveredNotificationLifetime{3000};

    // Notifications go to `center`; none: only the lines are written.
    explicit HotPlugAnnouncer(UserNotificationCenter* center, QObject* parent = nullptr);

    // The port manager's notifications. One without the list of ports says
    // nothing.
    void portsWereConnected(const vel::Notification& notification);
    void portsWereDisconnected(const vel::Notification& notification);

    void postConnected(const Ports& ports);
    void postDisconnected(const Ports& ports);

    // Whether the manager announced the port's removal (its line is written).
    bool announcedRemovalOf(const std::shared_ptr<VELSerialPort>& port) const;

private:
    QPointer<UserNotificationCenter> center_;
    std::vector<std::weak_ptr<VELSerialPort>> announcedDisconnections_;
};
