#include "VELSerialPortManager.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cerrno>
#include <cstdlib>
#include <numeric>
#include <string>
#include <thread>
#include <utility>

#include "support/Diagnostics.h"
#include "support/NoDestroy.h"
#include "dispatch/MainQueue.h"
#include "support/NotificationCenter.h"
#include "VELSerialPort.h"

const char* const VELSerialPortsWereConnectedNotification = "VELSerialPortWasConnectedNotification";
const char* const VELSerialPortsWereDisconnectedNotification = "VELSerialPortWasDisconnectedNotification";
const char* const VELConnectedSerialPortsKey = "VELConnectedSerialPortsKey";
const char* const VELDisconnectedSerialPortsKey = "VELDisconnectedSerialPortsKey";

namespace {

using Ports = VELSerialPortManager::Ports;
using Indexes = VELSerialPortManager::Indexes;

constexpr const char* kAvailablePortsKey = "availablePorts";

// The shared manager, for those who must recognise or reach it without
// creating it: the registry callbacks and the exit clean-up.
std::atomic<VELSerialPortManager*> theSharedManager{nullptr};

bool containsPort(const Ports& ports, const VELSerialPort& port)
{
    return std::any_of(ports.begin(), ports.end(), [&](const auto& listed) { return listed->isEqual(port); });
}

Indexes ascendingUnique(Indexes indexes)
{
    std::sort(indexes.begin(), indexes.end());
    indexes.erase(std::unique(indexes.begin(), indexes.end()), indexes.end());
    return indexes;
}

void requirePorts(const Ports& ports, const char* operation)
{
    if (std::any_of(ports.begin(), ports.end(), [](const auto& port) { return !port; })) {
        vel::raise(std::string("-[VELSerialPortManager ") + operation + "] attempt to insert nil object");
    }
}

[[noreturn]] void raiseOutOfRange(const char* operation, std::size_t index, std::size_t count)
{
    vel::raise(std::string("-[VELSerialPortManager ") + operation + "] index " + std::to_string(index) +
               " beyond bounds of availablePorts (count " + std::to_string(count) + ")");
}

bool isSharedManager(void* context, const char* signature)
{
    if (context != nullptr && context == theSharedManager.load()) {
        return true;
    }
    vel::log("Unexpected context object %p in %s. Context object should be an instance of VELSerialPortManager",
             context, signature);
    return false;
}

}  // namespace

// MARK: - The shared instance

VELSerialPortManager& VELSerialPortManager::sharedSerialPortManager()
{
    // Never destroyed: the exit clean-up, and ports dropped by static
    // destructors, may still reach it.
    static vel::NoDestroy<VELSerialPortManager> shared;
    VELSerialPortManager& manager = shared.get();
    // Made by another thread: the main thread's first call lists the
    // devices at once rather than when its queue next runs.
    if (!manager.enumerated_.load() && manager.mainQueue_->isMainThread()) {
        manager.enumerate();
    }
    return manager;
}

VELSerialPortManager::VELSerialPortManager() : mainQueue_(vel::MainQueue::shared())
{
    theSharedManager = this;
    // Subscribed before enumerating, so that nothing is missed; a device
    // that both report is listed once.
    subscription_ = vel::DeviceRegistry::system().subscribe(
        *mainQueue_, {[this](const vel::DeviceRegistry::Batch& devices) {
                          VELSerialPortManagerPortsPublishedNotificationCallback(this, devices);
                      },
                      [this](const vel::DeviceRegistry::Batch& devices) {
                          VELSerialPortManagerPortsTerminatedNotificationCallback(this, devices);
                      }});
    // Inside the creation, so that a caller on the main thread never sees
    // the list before it is filled. The list changes on the main thread only.
    if (mainQueue_->isMainThread()) {
        enumerate();
    } else {
        mainQueue_->post([this] { enumerate(); });
    }
}

VELSerialPortManager::~VELSerialPortManager() = default;

void VELSerialPortManager::enumerate()
{
    if (enumerated_.exchange(true)) {
        return;
    }
    Ports ports;
    for (const auto& device : vel::DeviceRegistry::system().enumerate()) {
        if (device) {
            ports.push_back(VELSerialPort::serialPortWithDevice(device));
        }
    }
    setAvailablePorts(std::move(ports));
}

// MARK: - availablePorts

Ports VELSerialPortManager::availablePorts() const
{
    std::lock_guard lock(mutex_);
    return availablePorts_;
}

void VELSerialPortManager::setAvailablePorts(Ports ports)
{
    requirePorts(ports, "setAvailablePorts:");
    willChange(vel::ChangeKind::Replacement, {}, kAvailablePortsKey);
    {
        std::lock_guard lock(mutex_);
        availablePorts_.swap(ports);
    }
    didChange(vel::ChangeKind::Replacement, {}, kAvailablePortsKey);
    // The previous list goes here, outside the lock: a port dropped for good
    // runs its destructor.
}

std::size_t VELSerialPortManager::countOfAvailablePorts() const
{
    std::lock_guard lock(mutex_);
    return availablePorts_.size();
}

std::shared_ptr<VELSerialPort> VELSerialPortManager::objectInAvailablePortsAtIndex(std::size_t index) const
{
    std::lock_guard lock(mutex_);
    if (index >= availablePorts_.size()) {
        raiseOutOfRange("objectInAvailablePortsAtIndex:", index, availablePorts_.size());
    }
    return availablePorts_[index];
}

void VELSerialPortManager::insertAvailablePortsAtIndexes(const Ports& ports, const Indexes& indexes)
{
    requirePorts(ports, "insertAvailablePorts:atIndexes:");
    const Indexes positions = ascendingUnique(indexes);
    if (positions.size() != ports.size()) {
        vel::raise("-[VELSerialPortManager insertAvailablePorts:atIndexes:] count of ports (" +
                   std::to_string(ports.size()) + ") differs from count of indexes (" +
                   std::to_string(positions.size()) + ")");
    }
    if (positions.empty()) {
        return;
    }
    // Inserted in ascending order, each index is valid when the largest one
    // falls inside the resulting list.
    const std::size_t count = countOfAvailablePorts();
    if (positions.back() >= count + positions.size()) {
        raiseOutOfRange("insertAvailablePorts:atIndexes:", positions.back(), count);
    }
    willChange(vel::ChangeKind::Insertion, positions, kAvailablePortsKey);
    {
        std::lock_guard lock(mutex_);
        for (std::size_t i = 0; i < positions.size(); ++i) {
            availablePorts_.insert(availablePorts_.begin() + static_cast<std::ptrdiff_t>(positions[i]), ports[i]);
        }
    }
    didChange(vel::ChangeKind::Insertion, positions, kAvailablePortsKey);
}

void VELSerialPortManager::insertObjectInAvailablePortsAtIndex(std::shared_ptr<VELSerialPort> port, std::size_t index)
{
    insertAvailablePortsAtIndexes({std::move(port)}, {index});
}

void VELSerialPortManager::removeAvailablePortsAtIndexes(const Indexes& indexes)
{
    const Indexes positions = ascendingUnique(indexes);
    if (positions.empty()) {
        return;
    }
    const std::size_t count = countOfAvailablePorts();
    if (positions.back() >= count) {
        raiseOutOfRange("removeAvailablePortsAtIndexes:", positions.back(), count);
    }
    willChange(vel::ChangeKind::Removal, positions, kAvailablePortsKey);
    Ports removed;  // Dropped outside the lock, like the list in setAvailablePorts.
    {
        std::lock_guard lock(mutex_);
        for (auto it = positions.rbegin(); it != positions.rend(); ++it) {
            const auto at = availablePorts_.begin() + static_cast<std::ptrdiff_t>(*it);
            removed.push_back(std::move(*at));
            availablePorts_.erase(at);
        }
    }
    didChange(vel::ChangeKind::Removal, positions, kAvailablePortsKey);
}

void VELSerialPortManager::removeObjectFromAvailablePortsAtIndex(std::size_t index)
{
    removeAvailablePortsAtIndexes({index});
}

// MARK: - Arrivals and removals

void VELSerialPortManager::serialPortsWerePublished(const vel::DeviceRegistry::Batch& devices)
{
    const Ports listed = availablePorts();
    Ports added;
    for (const auto& device : devices) {
        if (!device) {
            continue;
        }
        auto port = VELSerialPort::initWithDevice(device);
        if (!containsPort(listed, *port) && !containsPort(added, *port)) {
            added.push_back(std::move(port));
        }
    }
    if (!added.empty()) {
        Indexes atTheEnd(added.size());
        std::iota(atTheEnd.begin(), atTheEnd.end(), listed.size());
        insertAvailablePortsAtIndexes(added, atTheEnd);
    }
    vel::NotificationCenter::defaultCenter().postNotification(VELSerialPortsWereConnectedNotification, this,
                                                              {{VELConnectedSerialPortsKey, added}});
}

void VELSerialPortManager::serialPortsWereTerminated(const vel::DeviceRegistry::Batch& devices)
{
    Ports removed;
    for (const auto& device : devices) {
        if (device) {
            removed.push_back(VELSerialPort::initWithDevice(device));
        }
    }
    // Before the list changes: a port's delegate hears of its removal before
    // the list's observers and the notification's do.
    for (const auto& port : removed) {
        port->cleanupAfterSystemRemoval();
    }
    const Ports listed = availablePorts();
    Indexes leaving;
    for (std::size_t i = 0; i < listed.size(); ++i) {
        if (containsPort(removed, *listed[i])) {
            leaving.push_back(i);
        }
    }
    removeAvailablePortsAtIndexes(leaving);
    vel::NotificationCenter::defaultCenter().postNotification(VELSerialPortsWereDisconnectedNotification, this,
                                                              {{VELDisconnectedSerialPortsKey, removed}});
}

// MARK: - Sleep and wake

void VELSerialPortManager::systemWillSleep()
{
    for (const auto& port : availablePorts()) {
        if (port->isOpen() && port->close()) {
            std::lock_guard lock(mutex_);
            portsToReopenAfterSleep_.push_back(port);
        }
    }
}

void VELSerialPortManager::systemDidWake()
{
    for (const auto& port : portsToReopenAfterSleep()) {
        port->open();
        std::lock_guard lock(mutex_);
        std::erase_if(portsToReopenAfterSleep_, [&](const auto& remembered) { return remembered->isEqual(*port); });
    }
}

Ports VELSerialPortManager::portsToReopenAfterSleep() const
{
    std::lock_guard lock(mutex_);
    return portsToReopenAfterSleep_;
}

// MARK: - Exit clean-up

void VELSerialPortManager::cleanUpAtExit()
{
    VELSerialPortManager* manager = theSharedManager.load();
    if (!manager) {
        return;
    }
    const Ports ports = manager->availablePorts();
    for (const auto& port : ports) {
        port->cleanupAfterSystemRemoval();
    }
    manager->setAvailablePorts({});
}

// MARK: - Registry callbacks

void VELSerialPortManagerPortsPublishedNotificationCallback(void* context, const vel::DeviceRegistry::Batch& devices)
{
    static constexpr const char* signature =
        "void VELSerialPortManagerPortsPublishedNotificationCallback(void *, io_iterator_t)";
    if (isSharedManager(context, signature)) {
        static_cast<VELSerialPortManager*>(context)->serialPortsWerePublished(devices);
    }
}

void VELSerialPortManagerPortsTerminatedNotificationCallback(void* context, const vel::DeviceRegistry::Batch& devices)
{
    static constexpr const char* signature =
        "void VELSerialPortManagerPortsTerminatedNotificationCallback(void *, io_iterator_t)";
    if (isSharedManager(context, signature)) {
        static_cast<VELSerialPortManager*>(context)->serialPortsWereTerminated(devices);
    }
}
