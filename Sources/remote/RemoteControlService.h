#pragma once

#include <QObject>
#include <QString>
#include <chrono>
#include <memory>
#include <thread>

#include "remote/RemoteControlObject.h"

class SerialPortDemoController;

// Serves the remote control on the session bus: the object
// /org/halodial/Halodial (RemoteControlObject) and the name
// org.halodial.Halodial.
//
// Joining the bus waits for the bus's handshake, so it happens on a thread
// of its own after a probe with a deadline (SessionBusProbe): a bus that is
// absent, hung or slow costs the GUI thread nothing. The object is then
// registered and the name asked for without waiting on the GUI thread.
// Without a session bus the program runs on without a remote control; a
// bus that does not answer, or another instance that owns the name, is said
// in one line on standard error.
//
// GUI thread; start() and the destructor return at once, except that the
// destructor waits for a join still under way (at most the probe's
// deadline plus the handshake).
class RemoteControlService : public QObject {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds busProbeDeadline {1500};

    RemoteControlService(SerialPortDemoController& controller, RemoteControlObject::Activator activator,
                         QObject* parent = nullptr);
    ~RemoteControlService() override;

    RemoteControlService(const RemoteControlService&) = delete;
    RemoteControlService& operator=(const RemoteControlService&) = delete;

    void start();
    // Whether the name is this process's (known once the bus answered).
    bool ownsName() const { return ownsName_; }

signals:
    // The name is ours, or could not be had (`owned` false).
    void nameSettled(bool owned);

private:
    void joined(const QString& problem, bool noBus);

    RemoteControlObject object_;
    std::thread joiner_;
    bool registered_ = false;
    bool ownsName_ = false;
};
