#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "devices/DeviceRegistry.h"

struct udev_device;

namespace vel {

// The machine's serial devices through libudev: devices of subsystem "tty"
// that have a parent device, except serial-core ports whose `type` attribute
// is 0 (PORT_UNKNOWN: no UART behind the port, as with most of the ttyS
// ports that serial8250 registers). The attribute is read from sysfs; no
// device is ever opened. The check is not tied to the parent's driver: since
// the serial-base layer (Linux 6.5) the parent of an 8250 port is a "port"
// device, and the attribute means the same for every serial-core driver.
//
// Keys: IOCalloutDevice = DEVNAME; IODialinDevice = the first
// /dev/serial/by-id/ link, else DEVNAME (without a udev daemon there are no
// links); IOTTYDevice = kernel name; IOTTYBaseName / IOTTYSuffix = the name
// without / with only its trailing digits, the suffix "" when there are none
// (every entry has all six keys); IOSerialBSDClientType = "IOSerialStream".
//
// Arrivals and removals come from a udev monitor: the udev daemon's events,
// or the kernel's when no daemon runs (containers, where devtmpfs makes the
// nodes), since the daemon's source would stay silent. Everything readable at
// one wake-up is one batch; when arrivals and removals alternate within it,
// each run of one kind is its own batch, so that their order is kept. A
// removed device is gone from sysfs: its entry comes from the event, and any
// tty removal not under /devices/virtual counts.
//
// Thread-safe: every call uses its own udev context.
class UdevDeviceRegistry : public DeviceRegistry {
public:
    std::vector<DeviceHandle> enumerate() override;
    // Also finds a device through a symbolic link to its node.
    DeviceHandle deviceWithPath(const std::string& path) override;
    std::unique_ptr<RegistrySubscription> subscribe(MainQueue& mainQueue, Events events) override;

    // The entry of a terminal from its paths and kernel name.
    static DeviceHandle makeDevice(const std::string& calloutPath, const std::string& dialinPath,
                                   const std::string& name);

    // What one monitor event means to the registry: an arrival (true) or a
    // removal (false) of the device, or nothing.
    using Change = std::pair<bool, DeviceHandle>;
    static std::optional<Change> changeFromEvent(udev_device* event);

    // A wake-up's changes as the batches to deliver, in order: consecutive
    // changes of one kind form one batch.
    static std::vector<std::pair<bool, Batch>> batchesFromChanges(const std::vector<Change>& changes);

private:
    // The sysfs paths of the ttys that can be serial devices, in name order.
    static std::vector<std::string> parentedTtys();
};

}  // namespace vel
