#pragma once

#include "devices/DeviceRegistry.h"

namespace vel {

// The registry the library uses (DeviceRegistry::system()): the machine's
// devices, then the virtual ones. Looking up a path that neither lists still
// finds a terminal that no registry knows, such as a pseudo-terminal made by
// socat: its entry comes from the path alone (IOCalloutDevice =
// IODialinDevice = the path, IOTTYDevice = the last path component), and it
// never appears in enumerate().
//
// Such a terminal must be a character device with no sysfs entry (the kernel
// lists consoles, /dev/tty, ptmx and every real serial port there, and the
// machine registry has already judged those) that opens as a terminal. It is
// opened and closed at once to check that.
class SystemDeviceRegistry : public DeviceRegistry {
public:
    SystemDeviceRegistry(DeviceRegistry& machine, DeviceRegistry& virtualDevices);

    std::vector<DeviceHandle> enumerate() override;
    DeviceHandle deviceWithPath(const std::string& path) override;
    // One subscription to both registries.
    std::unique_ptr<RegistrySubscription> subscribe(MainQueue& mainQueue, Events events) override;

    // The entry for an unlisted pseudo-terminal at `path`, named by its
    // canonical path (so a symbolic link yields the same entry), or null.
    static DeviceHandle unlistedTerminalAt(const std::string& path);

private:
    DeviceRegistry& machine_;
    DeviceRegistry& virtual_;
};

}  // namespace vel
