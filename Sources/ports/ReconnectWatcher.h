#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <chrono>
#include <memory>

#include "SerialPortDemoController.h"

class VELSerialPort;
class VELSerialPortManager;

// Brings the clock's port back after its device went away. When the
// controller's port goes, the watcher keeps the choice and waits (the status
// line says "Waiting for <device> to come back…"): for a device with the
// same PortIdentity among the port manager's arrivals, or, for the path
// given on the command line, for that path to name a terminal device again:
// through the same symbolic link (a /dev/serial/by-id/ link, socat's
// link=), or, for a path that is no link, a device of the same stable
// identity. A terminal that another process has open is someone's session
// and is not taken over. A bare /dev/pts/N is not awaited at all: the
// system hands the number to whichever terminal is made next.
// It looks on every hot-plug event and once a second. Then it chooses the
// port again, opens it and, if the sync was running, starts it again as soon
// as the port is open. Choosing another port or pressing Close ends the
// waiting; a failed reopen does not (the node may be there before udev has
// given it its group), the next look tries again.
//
// GUI thread; never blocks (opening is the port's asynchronous open). The
// controller is not owned and must outlive the watcher or go first.
class ReconnectWatcher : public QObject {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds pollInterval{1000};

    // `manager` may be null: then only a given path is awaited.
    ReconnectWatcher(SerialPortDemoController& controller, VELSerialPortManager* manager, QObject* parent = nullptr);
    ~ReconnectWatcher() override;

    // The path given with --port: when the port chosen from it goes, the
    // path is awaited rather than the device's identity.
    void setGivenPath(const QString& path, const std::shared_ptr<VELSerialPort>& portFromPath);

    // Waits now, before any port was chosen (a device absent at start).
    void waitForPath(const QString& path, bool resumeSync);
    void waitForIdentity(const QString& identity, const QString& name, bool resumeSync);

    bool isWaiting() const { return waiting_; }

    // False for a path that names a pseudo-terminal by its number (not
    // through a link), which is never awaited; reads the file system.
    static bool canAwaitPath(const QString& path);
    // Why such a path is not awaited, in the user's words.
    static QString notAwaitedMessage(const QString& path);

signals:
    // The awaited port is back and being opened.
    void reconnected(const std::shared_ptr<VELSerialPort>& port);

private:
    void currentPortChanged();
    void portWentAway();
    void openFailed();
    void stateChanged(SerialPortDemoController::PortState state);
    void startWaiting(const QString& shownName);
    void stopWaiting();
    void look();
    std::shared_ptr<VELSerialPort> portAtGivenPath() const;
    void reconnectTo(const std::shared_ptr<VELSerialPort>& port);

    QPointer<SerialPortDemoController> controller_;
    VELSerialPortManager* manager_;
    QTimer poll_;
    QString givenPath_;
    std::weak_ptr<VELSerialPort> portFromPath_;
    // The current port as last seen, for when it has gone.
    std::weak_ptr<VELSerialPort> current_;
    QString currentIdentity_;
    QString currentName_;
    bool currentFromPath_ = false;
    // What is awaited.
    bool waiting_ = false;
    bool byPath_ = false;
    QString identity_;
    bool resumeSync_ = false;
    // Between choosing the port again and its being open.
    std::shared_ptr<VELSerialPort> reopening_;
};
