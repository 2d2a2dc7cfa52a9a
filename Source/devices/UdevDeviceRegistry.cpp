#include "devices/UdevDeviceRegistry.h"

#include <fcntl.h>
#include <libudev.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string_view>

#include "support/Diagnostics.h"
#include "dispatch/MainQueue.h"

namespace vel {

namespace {

struct UdevUnref {
    void operator()(udev* handle) const { udev_unref(handle); }
    void operator()(udev_enumerate* handle) const { udev_enumerate_unref(handle); }
    void operator()(udev_device* handle) const { udev_device_unref(handle); }
    void operator()(udev_monitor* handle) const { udev_monitor_unref(handle); }
};

using Udev = std::unique_ptr<udev, UdevUnref>;
using UdevEnumerate = std::unique_ptr<udev_enumerate, UdevUnref>;
using UdevDevice = std::unique_ptr<udev_device, UdevUnref>;
using UdevMonitor = std::unique_ptr<udev_monitor, UdevUnref>;

// libudev keeps process-wide state (its hash seed among it) that it sets up
// lazily without a lock: calls from several threads at once race there.
std::mutex& libudevMutex()
{
    static std::mutex mutex;
    return mutex;
}

Udev newUdev()
{
    Udev context(udev_new());
    if (!context) {
        log("udev_new failed: %s", std::strerror(errno));
    }
    return context;
}

std::string_view view(const char* text)
{
    return text ? std::string_view(text) : std::string_view();
}

// Where a udev daemon runs, its events come after its rules have made the
// links and set the permissions; without one, only the kernel's come.
const char* monitorSource()
{
    return ::access("/run/udev/control", F_OK) == 0 ? "udev" : "kernel";
}

// The entry from what the device carries itself (the event's properties for
// a monitored device), without looking at sysfs.
DeviceHandle entryOf(udev_device* device)
{
    const char* node = udev_device_get_devnode(device);
    const char* name = udev_device_get_sysname(device);
    if (!node || !name) {
        return nullptr;
    }
    std::string byId;
    for (auto* link = udev_device_get_devlinks_list_entry(device); link; link = udev_list_entry_get_next(link)) {
        if (view(udev_list_entry_get_name(link)).starts_with("/dev/serial/by-id/")) {
            byId = udev_list_entry_get_name(link);
            break;
        }
    }
    auto properties = UdevDeviceRegistry::makeDevice(node, byId.empty() ? node : byId, name)->properties();
    const auto first = [device](std::initializer_list<const char*> keys) {
        for (const char* key : keys) {
            const std::string_view value = view(udev_device_get_property_value(device, key));
            if (!value.empty()) {
                return std::string(value);
            }
        }
        return std::string();
    };
    const auto add = [&properties](const char* key, std::string value) {
        if (!value.empty()) {
            properties.emplace(key, std::move(value));
        }
    };
    add(kModelKey, first({"ID_MODEL_FROM_DATABASE", "ID_MODEL"}));
    add(kVendorKey, first({"ID_VENDOR_FROM_DATABASE", "ID_VENDOR"}));
    add(kSerialNumberKey, first({"ID_SERIAL_SHORT"}));
    const std::string vendorId = first({"ID_VENDOR_ID"});
    const std::string productId = first({"ID_MODEL_ID"});
    if (!vendorId.empty() && !productId.empty()) {
        add(kUSBVendorProductKey, vendorId + ":" + productId);
    }
    add(kByIdLinkKey, byId);
    return std::make_shared<const SerialDevice>(std::move(properties));
}

// A tty that is present in sysfs and is a serial stream device.
bool isSerialStream(udev_device* device)
{
    if (!udev_device_get_parent(device)) {
        return false;  // Consoles, /dev/tty, ptmx and the like.
    }
    std::string_view type = view(udev_device_get_sysattr_value(device, "type"));
    type = type.substr(0, type.find_last_not_of(" \n") + 1);
    return type != "0";
}

DeviceHandle serialDeviceAt(udev* context, const char* syspath)
{
    UdevDevice device(udev_device_new_from_syspath(context, syspath));
    if (!device || !isSerialStream(device.get())) {
        return nullptr;
    }
    return entryOf(device.get());
}

bool hasPath(const DeviceHandle& device, const std::string& path)
{
    return device->property(kIOCalloutDeviceKey) == path || device->property(kIODialinDeviceKey) == path;
}

class UdevSubscription : public RegistrySubscription {
public:
    UdevSubscription(MainQueue& mainQueue, DeviceRegistry::Events events) : events_(std::move(events))
    {
        if (!context_) {
            return;
        }
        std::lock_guard lock(libudevMutex());
        monitor_.reset(udev_monitor_new_from_netlink(context_.get(), monitorSource()));
        if (!monitor_) {
            log("Cannot watch for serial devices: udev_monitor_new_from_netlink failed: %s", std::strerror(errno));
            return;
        }
        const int fd = udev_monitor_get_fd(monitor_.get());
        const int flags = ::fcntl(fd, F_GETFL);
        if (udev_monitor_filter_add_match_subsystem_devtype(monitor_.get(), "tty", nullptr) < 0
            || udev_monitor_enable_receiving(monitor_.get()) < 0 || flags < 0
            || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) {
            log("Cannot watch for serial devices: setting up the udev monitor failed: %s", std::strerror(errno));
            monitor_.reset();
            return;
        }
        watch_ = mainQueue.watchReadable(fd, [this] { drain(); });
    }

    UdevSubscription(const UdevSubscription&) = delete;
    UdevSubscription& operator=(const UdevSubscription&) = delete;

private:
    void drain()
    {
        std::vector<UdevDeviceRegistry::Change> changes;
        {
            std::lock_guard lock(libudevMutex());
            while (UdevDevice event{udev_monitor_receive_device(monitor_.get())}) {
                if (auto change = UdevDeviceRegistry::changeFromEvent(event.get())) {
                    changes.push_back(std::move(*change));
                }
            }
        }
        // Copies and a token: a callback may end this subscription.
        const DeviceRegistry::Events events = events_;
        const std::weak_ptr<const bool> alive = alive_;
        for (const auto& [arrived, batch] : UdevDeviceRegistry::batchesFromChanges(changes)) {
            if (alive.expired()) {
                return;
            }
            const auto& handler = arrived ? events.arrived : events.removed;
            if (handler) {
                handler(batch);
            }
        }
    }

    DeviceRegistry::Events events_;
    std::shared_ptr<const bool> alive_ = std::make_shared<const bool>(true);
    Udev context_ = [] {
        std::lock_guard lock(libudevMutex());
        return newUdev();
    }();
    UdevMonitor monitor_;
    std::unique_ptr<DescriptorWatch> watch_;  // Last: ends before the monitor closes its descriptor.
};

}  // namespace

DeviceHandle UdevDeviceRegistry::makeDevice(const std::string& calloutPath, const std::string& dialinPath,
                                            const std::string& name)
{
    const auto digits = name.find_last_not_of("0123456789") + 1;  // 0 when all are digits (npos + 1)
    return std::make_shared<const SerialDevice>(SerialDevice::Properties{
        {kIOCalloutDeviceKey, calloutPath},
        {kIODialinDeviceKey, dialinPath},
        {kIOTTYDeviceKey, name},
        {kIOTTYBaseNameKey, name.substr(0, digits)},
        {kIOTTYSuffixKey, name.substr(digits)},
        {kIOSerialBSDClientTypeKey, kIOSerialStreamType},
    });
}

std::optional<UdevDeviceRegistry::Change> UdevDeviceRegistry::changeFromEvent(udev_device* event)
{
    const std::string_view action = view(udev_device_get_action(event));
    if (action == "add") {
        // Inspected in sysfs like an enumerated device; gone already if it
        // was removed at once, and then its removal follows.
        if (isSerialStream(event)) {
            if (auto device = entryOf(event)) {
                return Change{true, std::move(device)};
            }
        }
    } else if (action == "remove") {
        if (!view(udev_device_get_devpath(event)).starts_with("/devices/virtual/")) {
            if (auto device = entryOf(event)) {
                return Change{false, std::move(device)};
            }
        }
    }
    return std::nullopt;
}

std::vector<std::pair<bool, DeviceRegistry::Batch>> UdevDeviceRegistry::batchesFromChanges(
    const std::vector<Change>& changes)
{
    std::vector<std::pair<bool, Batch>> batches;
    for (const auto& [arrived, device] : changes) {
        if (batches.empty() || batches.back().first != arrived) {
            batches.emplace_back(arrived, Batch());
        }
        batches.back().second.push_back(device);
    }
    return batches;
}

std::vector<DeviceHandle> UdevDeviceRegistry::enumerate()
{
    std::vector<DeviceHandle> devices;
    const auto candidates = parentedTtys();
    if (candidates.empty()) {
        return devices;
    }
    std::lock_guard lock(libudevMutex());
    Udev context = newUdev();
    if (!context) {
        return devices;
    }
    for (const auto& syspath : candidates) {
        if (auto device = serialDeviceAt(context.get(), syspath.c_str())) {
            devices.push_back(std::move(device));
        }
    }
    return devices;
}

// The ttys of the class directory that have a parent device. Each entry is a
// link to the device's directory, and a tty without a parent (the virtual
// consoles, /dev/tty, ptmx: most of them) lives under /devices/virtual/, so
// the link alone tells; of the rest, a serial8250 port that the driver found
// no hardware for says so in its "type" (0, PORT_UNKNOWN). Only what passes
// both gets a udev device object: building one for every tty and walking up
// its parents read thousands of sysfs files at every start.
std::vector<std::string> UdevDeviceRegistry::parentedTtys()
{
    std::vector<std::string> syspaths;
    constexpr const char* kClass = "/sys/class/tty";
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(kClass, error)) {
        std::error_code linkError;
        const auto target = std::filesystem::read_symlink(entry.path(), linkError);
        if (linkError || target.string().find("/devices/virtual/") != std::string::npos) {
            continue;
        }
        // One small read: "type" is there for serial8250 ports only.
        if (std::ifstream type(entry.path() / "type"); type) {
            int portType = -1;
            if (type >> portType && portType == 0) {
                continue;
            }
        }
        syspaths.push_back(entry.path().string());
    }
    if (error) {
        log("Cannot list serial devices: %s: %s", kClass, error.message().c_str());
    }
    std::sort(syspaths.begin(), syspaths.end());
    return syspaths;
}

DeviceHandle UdevDeviceRegistry::deviceWithPath(const std::string& path)
{
    const auto devices = enumerate();
    for (const auto& device : devices) {
        if (hasPath(device, path)) {
            return device;
        }
    }
    std::error_code error;
    const auto resolved = std::filesystem::canonical(path, error);
    if (error) {
        return nullptr;
    }
    for (const auto& device : devices) {
        std::error_code nodeError;
        const auto node = std::filesystem::canonical(device->property(kIOCalloutDeviceKey).value_or(""), nodeError);
        if (!nodeError && node == resolved) {
            return device;
        }
    }
    return nullptr;
}

std::unique_ptr<RegistrySubscription> UdevDeviceRegistry::subscribe(MainQueue& mainQueue, Events events)
{
    return std::make_unique<UdevSubscription>(mainQueue, std::move(events));
}

}  // namespace vel
