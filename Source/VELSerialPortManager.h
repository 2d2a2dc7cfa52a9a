#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

#include "devices/DeviceRegistry.h"
#include "support/Observable.h"

class VELSerialPort;

namespace vel {
class MainQueue;
template <typename T>
class NoDestroy;
}  // namespace vel

// Notification names and user-info keys of the port manager's two
// notifications on vel::NotificationCenter::defaultCenter(). The names say
// "PortWas" where the constants say "PortsWere"; observe through the
// constants. The user info maps the key to a
// std::vector<std::shared_ptr<VELSerialPort>>, possibly empty; the sender is
// the manager.
extern const char* const VELSerialPortsWereConnectedNotification;     // "VELSerialPortWasConnectedNotification"
extern const char* const VELSerialPortsWereDisconnectedNotification;  // "VELSerialPortWasDisconnectedNotification"
extern const char* const VELConnectedSerialPortsKey;                  // "VELConnectedSerialPortsKey"
extern const char* const VELDisconnectedSerialPortsKey;               // "VELDisconnectedSerialPortsKey"

// The process-wide list of the serial ports present on the machine: the udev
// registry's and the virtual ones (vel::DeviceRegistry::system()).
//
// Created on the first sharedSerialPortManager() call, which should come from
// the main thread of vel::MainQueue::shared(): it enumerates the devices
// there, before any other caller gets the manager. (A first call from another
// thread gets a manager whose list fills once the main queue has run, or at
// the main thread's first call, whichever comes first.) The
// manager stays with the main queue installed at that first call for the
// whole process: install the queue once, before anything touches a port.
// Arrivals and removals are delivered on the main queue; each arrival batch
// is appended and announced with VELSerialPortsWereConnectedNotification
// (also when none of its devices was new), each removal batch first tells
// the removed ports to clean up (their delegates hear of it), then leaves the
// list and is announced with VELSerialPortsWereDisconnectedNotification.
//
// At process exit every listed port, open or closed, is cleaned up as though
// removed, and the list is emptied.
//
// "availablePorts" is observable: arrivals are announced as
// ChangeKind::Insertion and removals as ChangeKind::Removal, with the
// indexes concerned; setAvailablePorts as ChangeKind::Replacement without
// indexes (the whole list). Observers are called on the thread making the
// change, which is the main thread except for the sleep and wake operations
// (their caller's) and the exit clean-up (the exiting thread's).
class VELSerialPortManager : public vel::Observable {
public:
    using Ports = std::vector<std::shared_ptr<VELSerialPort>>;
    // Positions in the list, as an index set: each index once, in any order.
    using Indexes = std::vector<std::size_t>;

    static VELSerialPortManager& sharedSerialPortManager();

    // There is never a second manager: the shared one is only ever handed
    // out by reference, and cannot be copied.
    VELSerialPortManager(const VELSerialPortManager&) = delete;
    VELSerialPortManager& operator=(const VELSerialPortManager&) = delete;

    Ports availablePorts() const;
    void setAvailablePorts(Ports ports);

    // Indexed access. Out-of-range indexes, and insertions whose counts of
    // ports and indexes differ, are programming errors (std::logic_error).
    std::size_t countOfAvailablePorts() const;
    std::shared_ptr<VELSerialPort> objectInAvailablePortsAtIndex(std::size_t index) const;
    // Each port lands at its index of the resulting list: ports[i] at the
    // i-th smallest index.
    void insertAvailablePortsAtIndexes(const Ports& ports, const Indexes& indexes);
    void insertObjectInAvailablePortsAtIndex(std::shared_ptr<VELSerialPort> port, std::size_t index);
    void removeAvailablePortsAtIndexes(const Indexes& indexes);
    void removeObjectFromAvailablePortsAtIndex(std::size_t index);

    // Nothing calls these on its own. Sleep closes the open ports and
    // remembers those it closed; wake opens them again in that order, each
    // port reporting its own failure to its delegate, and forgets them.
    void systemWillSleep();
    void systemDidWake();
    Ports portsToReopenAfterSleep() const;

    // A batch from the registry (through the two callbacks below).
    void serialPortsWerePublished(const vel::DeviceRegistry::Batch& devices);
    void serialPortsWereTerminated(const vel::DeviceRegistry::Batch& devices);

    // The manager's part of the library's exit (VELSerialPort::processWillExit
    // calls it, on the exiting thread): every listed port, open or not, hears
    // serialPortWasRemovedFromSystem and closes, and the list empties.
    // Does nothing when no manager was ever made.
    static void cleanUpAtExit();

private:
    friend class vel::NoDestroy<VELSerialPortManager>;

    VELSerialPortManager();
    ~VELSerialPortManager() override;

    // The first list: every device present, once. Main thread.
    void enumerate();
    std::atomic<bool> enumerated_{false};

    // The registry delivers through this queue; kept alive for as long as
    // the subscription's watches on it.
    const std::shared_ptr<vel::MainQueue> mainQueue_;
    std::unique_ptr<vel::RegistrySubscription> subscription_;

    // Changes come from the main thread (and sleep, wake and exit); the lock
    // lets any thread read.
    mutable std::mutex mutex_;
    Ports availablePorts_;
    Ports portsToReopenAfterSleep_;
};

// The registry's callbacks. `context` must be the shared manager; anything
// else is logged, and the batch is ignored.
void VELSerialPortManagerPortsPublishedNotificationCallback(void* context, const vel::DeviceRegistry::Batch& devices);
void VELSerialPortManagerPortsTerminatedNotificationCallback(void* context, const vel::DeviceRegistry::Batch& devices);
