#include "devices/SystemDeviceRegistry.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "dispatch/GlobalQueue.h"
#include "support/NoDestroy.h"
#include "devices/UdevDeviceRegistry.h"
#include "devices/VirtualDeviceRegistry.h"

namespace vel {

namespace {

// Unix 98 slaves (/dev/pts/N) and the legacy BSD ones (/dev/ttyp0).
bool isPseudoTerminalSlave(dev_t device)
{
    constexpr unsigned kUnix98SlaveMajor = 136;
    constexpr unsigned kUnix98SlaveMajors = 8;
    constexpr unsigned kLegacySlaveMajor = 3;
    const unsigned deviceMajor = major(device);
    return (deviceMajor >= kUnix98SlaveMajor && deviceMajor < kUnix98SlaveMajor + kUnix98SlaveMajors) ||
           deviceMajor == kLegacySlaveMajor;
}

class UnionSubscription : public RegistrySubscription {
public:
    UnionSubscription(std::unique_ptr<RegistrySubscription> first, std::unique_ptr<RegistrySubscription> second)
        : first_(std::move(first)), second_(std::move(second))
    {
    }

private:
    std::unique_ptr<RegistrySubscription> first_;
    std::unique_ptr<RegistrySubscription> second_;
};

}  // namespace

DeviceRegistry& DeviceRegistry::system()
{
    // Ports and the port manager may still use it from static destructors.
    static NoDestroy<UdevDeviceRegistry> machine;
    static NoDestroy<SystemDeviceRegistry> registry(machine.get(), VirtualDeviceRegistry::shared());
    return registry.get();
}

SystemDeviceRegistry::SystemDeviceRegistry(DeviceRegistry& machine, DeviceRegistry& virtualDevices)
    : machine_(machine), virtual_(virtualDevices)
{
}

std::vector<DeviceHandle> SystemDeviceRegistry::enumerate()
{
    auto devices = machine_.enumerate();
    auto virtualDevices = virtual_.enumerate();
    devices.insert(devices.end(), virtualDevices.begin(), virtualDevices.end());
    return devices;
}

DeviceHandle SystemDeviceRegistry::deviceWithPath(const std::string& path)
{
    if (auto device = machine_.deviceWithPath(path)) {
        return device;
    }
    if (auto device = virtual_.deviceWithPath(path)) {
        return device;
    }
    return unlistedTerminalAt(path);
}

std::unique_ptr<RegistrySubscription> SystemDeviceRegistry::subscribe(MainQueue& mainQueue, Events events)
{
    auto machine = machine_.subscribe(mainQueue, events);
    return std::make_unique<UnionSubscription>(std::move(machine), virtual_.subscribe(mainQueue, std::move(events)));
}

DeviceHandle SystemDeviceRegistry::unlistedTerminalAt(const std::string& givenPath)
{
    struct stat status {};
    if (givenPath.empty() || ::stat(givenPath.c_str(), &status) != 0 || !S_ISCHR(status.st_mode)) {
        return nullptr;
    }
    // Known by its canonical path: a symbolic link to the terminal and the
    // terminal itself are one device, and so one port object. The resolved
    // path must still be the same device (it cannot have been swapped for
    // another between the two looks).
    std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(givenPath.c_str(), nullptr), &std::free);
    struct stat resolvedStatus {};
    if (!resolved || ::stat(resolved.get(), &resolvedStatus) != 0 || resolvedStatus.st_rdev != status.st_rdev) {
        return nullptr;
    }
    const std::string path = resolved.get();
    // Only pseudo-terminal slaves (a socat pty, say) qualify. They are told
    // by their major number rather than by opening them: opening and closing
    // a slave nobody has opened yet leaves its master reading EIO, which
    // some programs take as the end.
    if (!isPseudoTerminalSlave(status.st_rdev)) {
        return nullptr;
    }
    const auto slash = path.find_last_of('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    auto properties = UdevDeviceRegistry::makeDevice(path, path, name)->properties();
    properties.emplace(kPseudoTerminalKey, "yes");
    return std::make_shared<const SerialDevice>(std::move(properties));
}

}  // namespace vel
