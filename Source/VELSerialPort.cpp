#include "VELSerialPort.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <shared_mutex>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

#include "devices/DeviceRegistry.h"
#include "dispatch/MainQueue.h"
#include "dispatch/SerialQueue.h"
#include "port/RequestQueue.h"
#include "port/VELSerialPortOpening.h"
#include "support/Diagnostics.h"
#include "support/NoDestroy.h"
#include "VELSerialPortManager.h"

// The port's identity, its construction and the process-wide registry of
// live ports (one object per device), and the exit clean-up.

namespace {

constexpr const char* kRequestQueueLabel = "org.halodial.VELSerialPort.requestHandlingQueue";
// How long the exit waits for closes under way on the global queue: their
// drain (500 ms at most) and a little more.
constexpr auto kExitCloseDeadline = std::chrono::milliseconds(700);

// The registry of live ports. Entries do not own their ports; the path is
// kept beside the reference so that a lookup never has to lock (and so never
// has to release) a port it does not return.
struct LivePorts {
    struct Entry {
        const VELSerialPort* port;
        std::string path;
        std::weak_ptr<VELSerialPort> weak;
    };
    std::mutex mutex;
    std::vector<Entry> entries;
    bool exitHandlerRegistered = false;
};

LivePorts& livePorts()
{
    static vel::NoDestroy<LivePorts> ports;
    return ports.get();
}

std::shared_ptr<VELSerialPort> findLivePort(LivePorts& live, const std::string& path)
{
    for (const auto& entry : live.entries) {
        if (entry.path == path) {
            if (auto port = entry.weak.lock()) {
                return port;
            }
        }
    }
    return nullptr;
}

// The library's one exit handler; processWillExit says what it does, in
// which order.
void cleanUpAtExit()
{
    VELSerialPort::processWillExit();
}

std::vector<std::shared_ptr<VELSerialPort>> everyLivePort()
{
    std::vector<std::shared_ptr<VELSerialPort>> ports;
    auto& live = livePorts();
    std::lock_guard lock(live.mutex);
    for (const auto& entry : live.entries) {
        if (auto port = entry.weak.lock()) {
            ports.push_back(std::move(port));
        }
    }
    return ports;
}

}  // namespace

// MARK: - Construction and the registry of live ports

VELSerialPort::VELSerialPort(PrivateTag, const vel::DeviceHandle& device, std::string path)
    : path_(std::move(path)),
      name_(modemNameFromDevice(device).value_or("")),
      device_(device),
      requestHandlingQueue_(std::make_unique<vel::SerialQueue>(kRequestQueueLabel))
{
    declareDependentKey("isOpen", "fileDescriptor");
    declareDependentKey("queuedRequests", "requestsQueue");
    declareDependentKey("packetDescriptors", "packetDescriptorsAndBuffers");

    vel::RequestQueue::Host host;
    host.sendData = [this](std::span<const std::uint8_t> data) { return sendData(data); };
    host.delegateRespondingTo = [this](VELSerialPortDelegate::Callback callback) {
        return delegateRespondingTo(callback);
    };
    host.port = [this] { return weak_from_this().lock(); };
    host.announce = [this](vel::ChangeKind kind, const std::vector<std::size_t>& indexes, const std::string& key,
                           bool isPrior) {
        if (isPrior) {
            willChange(kind, indexes, key);
        } else {
            didChange(kind, indexes, key);
        }
    };
    requests_ = std::make_unique<vel::RequestQueue>(*requestHandlingQueue_, std::move(host));
}

VELSerialPort::~VELSerialPort()
{
    removeSerialPort(this);
    std::shared_ptr<Opening> opening;
    {
        std::lock_guard lock(openingMutex_);
        opening = std::move(opening_);
    }
    if (opening) {
        if (auto timer = opening->currentPollTimer()) {
            timer->cancel();
        }
    }
    // The request layer cancels its time-out timer; the queue goes after it.
    requests_.reset();
    requestHandlingQueue_.reset();
}

std::shared_ptr<VELSerialPort> VELSerialPort::serialPortWithPath(const std::string& path)
{
    return initWithPath(path);
}

std::shared_ptr<VELSerialPort> VELSerialPort::serialPortWithDevice(const vel::DeviceHandle& device)
{
    return initWithDevice(device);
}

std::shared_ptr<VELSerialPort> VELSerialPort::initWithPath(const std::string& path)
{
    auto device = deviceFromBSDPath(path);
    if (!device) {
        return nullptr;
    }
    return initWithDevice(device);
}

std::shared_ptr<VELSerialPort> VELSerialPort::initWithDevice(const vel::DeviceHandle& device)
{
    if (!device) {
        vel::raise("-[VELSerialPort initWithDevice:] requires non-zero device argument.");
    }
    const std::string path = bsdCalloutPathFromDevice(device).value_or("");

    auto& live = livePorts();
    std::shared_ptr<VELSerialPort> port;
    // Released after the lock: it may be the last reference.
    std::shared_ptr<VELSerialPort> superseded;
    {
        // Lookup and registration under one lock, so that two threads
        // constructing a port for the same device get the same object.
        std::lock_guard lock(live.mutex);
        port = findLivePort(live, path);
        if (port && (port->isOpen() || port->name_ == modemNameFromDevice(device).value_or(""))) {
            return port;
        }
        if (port) {
            // The kernel hands a freed path (a pseudo-terminal's above all)
            // to the next device: a closed port still alive for the old one
            // must not stand for the new one. It stays usable, unlisted.
            const VELSerialPort* old = port.get();
            live.entries.erase(std::find_if(live.entries.begin(), live.entries.end(),
                                            [old](const LivePorts::Entry& entry) { return entry.port == old; }));
            superseded = std::move(port);
        }
        port = std::make_shared<VELSerialPort>(PrivateTag{}, device, path);
        live.entries.push_back({port.get(), port->path_, port});
        if (!live.exitHandlerRegistered) {
            live.exitHandlerRegistered = true;
            if (std::atexit(cleanUpAtExit) != 0) {
                vel::log("VELSerialPort was unable to register its exit handler: %i", errno);
            }
        }
    }
    return port;
}

std::shared_ptr<VELSerialPort> VELSerialPort::init()
{
    vel::raise("VELSerialPort must be init'd using -initWithPath:");
}

void VELSerialPort::addSerialPort(const std::shared_ptr<VELSerialPort>& port)
{
    auto& live = livePorts();
    std::lock_guard lock(live.mutex);
    live.entries.push_back({port.get(), port->path_, port});
}

void VELSerialPort::removeSerialPort(const VELSerialPort* port)
{
    auto& live = livePorts();
    std::lock_guard lock(live.mutex);
    auto it = std::find_if(live.entries.begin(), live.entries.end(),
                           [port](const LivePorts::Entry& entry) { return entry.port == port; });
    if (it != live.entries.end()) {
        live.entries.erase(it);
    }
}

std::shared_ptr<VELSerialPort> VELSerialPort::existingPortWithPath(const std::string& path)
{
    auto& live = livePorts();
    std::lock_guard lock(live.mutex);
    return findLivePort(live, path);
}

void VELSerialPort::processWillExit()
{
    // 1. Nothing waits for the main loop any more: closes finish, and the
    //    delegates hear of them, on this thread.
    vel::MainQueue::mainLoopHasEnded();
    // 2. Every port the manager lists hears that it was removed, then closes.
    VELSerialPortManager::cleanUpAtExit();
    // 3. Every other open port closes.
    const auto ports = everyLivePort();
    for (const auto& port : ports) {
        port->close();
    }
    // 4. Closes that were already under way on the global queue finish
    //    there; the process must not end before they have put the devices'
    //    attributes back. Bounded: they drain for at most kDrainDeadline.
    const auto deadline = std::chrono::steady_clock::now() + kExitCloseDeadline;
    for (const auto& port : ports) {
        port->waitForCloseAtExit(deadline);
    }
}

// MARK: - Device queries

std::optional<std::string> VELSerialPort::stringPropertyOfForIOSerialKey(const vel::DeviceHandle& device,
                                                                         const std::string& key)
{
    if (!device) {
        return std::nullopt;
    }
    return device->property(key);
}

std::optional<std::string> VELSerialPort::bsdCalloutPathFromDevice(const vel::DeviceHandle& device)
{
    return stringPropertyOfForIOSerialKey(device, vel::kIOCalloutDeviceKey);
}

std::optional<std::string> VELSerialPort::bsdDialinPathFromDevice(const vel::DeviceHandle& device)
{
    return stringPropertyOfForIOSerialKey(device, vel::kIODialinDeviceKey);
}

std::optional<std::string> VELSerialPort::baseNameFromDevice(const vel::DeviceHandle& device)
{
    return stringPropertyOfForIOSerialKey(device, vel::kIOTTYBaseNameKey);
}

std::optional<std::string> VELSerialPort::serviceTypeFromDevice(const vel::DeviceHandle& device)
{
    return stringPropertyOfForIOSerialKey(device, vel::kIOSerialBSDClientTypeKey);
}

std::optional<std::string> VELSerialPort::modemNameFromDevice(const vel::DeviceHandle& device)
{
    return stringPropertyOfForIOSerialKey(device, vel::kIOTTYDeviceKey);
}

std::optional<std::string> VELSerialPort::suffixFromDevice(const vel::DeviceHandle& device)
{
    return stringPropertyOfForIOSerialKey(device, vel::kIOTTYSuffixKey);
}

vel::DeviceHandle VELSerialPort::deviceFromBSDPath(const std::string& path)
{
    if (path.empty()) {
        return nullptr;
    }
    return vel::DeviceRegistry::system().deviceWithPath(path);
}

// MARK: - Identity

std::string VELSerialPort::path() const
{
    return path_;
}

std::string VELSerialPort::name() const
{
    return name_;
}

vel::DeviceHandle VELSerialPort::IOKitDevice() const
{
    return device_;
}

bool VELSerialPort::isEqual(const VELSerialPort& other) const
{
    return !path_.empty() && path_ == other.path_;
}

std::size_t VELSerialPort::hash() const
{
    return std::hash<std::string>{}(path_);
}
