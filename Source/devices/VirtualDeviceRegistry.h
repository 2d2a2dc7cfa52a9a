#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "devices/DeviceRegistry.h"
#include "support/UniqueFd.h"

namespace vel {

// A pseudo-terminal playing a serial device: the port side is the slave
// (/dev/pts/N), listed with the same six keys as a real device; the master
// side stays with whoever created it, to play the device.
//
// What the owner of the master sees (Linux): bytes pass unchanged both ways,
// because the registry makes the terminal raw (termios set through the master
// land on the slave; the port reconfigures it when it opens). Bytes written
// before a port opens the slave wait for it. While no port has the slave
// open, after the first port has closed it, reading the master fails with EIO
// and poll reports POLLHUP; a port opening the slave again ends that. The
// master is blocking and close-on-exec.
class VirtualDevice {
public:
    // `onDestroyed` runs first thing in the destructor, master still open.
    VirtualDevice(DeviceHandle device, UniqueFd master, std::string slavePath,
                  std::function<void()> onDestroyed = {});
    ~VirtualDevice();
    VirtualDevice(const VirtualDevice&) = delete;
    VirtualDevice& operator=(const VirtualDevice&) = delete;

    const DeviceHandle& device() const { return device_; }
    int masterFd() const { return master_.get(); }
    const std::string& path() const { return slavePath_; }
    std::string name() const;

    // Closes the master side: to the port this looks like the device going
    // away (a hang-up). The device stays listed until removed or dropped.
    void closeMaster() { master_.reset(); }

private:
    DeviceHandle device_;
    UniqueFd master_;
    std::string slavePath_;
    std::function<void()> onDestroyed_;
};

// The in-process registry of virtual devices. Creating and removing devices
// produces arrival and removal batches exactly as the udev registry does.
//
// The registry lists a device only while someone owns it: dropping the last
// owner of a listed device removes it as removeDevice would. Subscribers get
// their batches through MainQueue::post, in the order the changes happened;
// ending a subscription also cancels batches posted but not yet delivered,
// and once its destructor returns no callback of it runs any more, also on
// other threads. Subscribe before enumerating so that nothing is missed.
//
// Thread-safe. Devices and subscriptions may outlive the registry.
class VirtualDeviceRegistry : public DeviceRegistry {
public:
    // The process-wide registry, part of DeviceRegistry::system(). Never
    // destroyed.
    static VirtualDeviceRegistry& shared();

    VirtualDeviceRegistry();
    ~VirtualDeviceRegistry() override;
    VirtualDeviceRegistry(const VirtualDeviceRegistry&) = delete;
    VirtualDeviceRegistry& operator=(const VirtualDeviceRegistry&) = delete;

    // One device, announced as a batch of one. Its name is baseName followed
    // by a number that no device alive in the process has ("vclock0", ...),
    // which are its base name and suffix. Throws std::system_error when no
    // pseudo-terminal can be made.
    std::shared_ptr<VirtualDevice> createDevice(const std::string& baseName = "vtty");
    // The same under a name of the caller's choice, baseName then suffix: a
    // device that comes back under its old name. Throws std::system_error
    // (EEXIST) while a device of that name is alive; a name is free again
    // once its device is destroyed.
    std::shared_ptr<VirtualDevice> createDevice(const std::string& baseName, const std::string& suffix);
    // Several devices announced together as one batch, in order.
    std::vector<std::shared_ptr<VirtualDevice>> createDevices(const std::vector<std::string>& baseNames);
    // Unlists the devices and announces the ones that were listed as one
    // removal batch. The master sides stay open until their owners drop them.
    void removeDevice(const std::shared_ptr<VirtualDevice>& device);
    void removeDevices(const std::vector<std::shared_ptr<VirtualDevice>>& devices);

    // Listed devices in creation order.
    std::vector<DeviceHandle> enumerate() override;
    // Also finds a device through a symbolic link to its slave.
    DeviceHandle deviceWithPath(const std::string& path) override;
    std::unique_ptr<RegistrySubscription> subscribe(MainQueue& mainQueue, Events events) override;

private:
    std::vector<std::shared_ptr<VirtualDevice>> createNamedDevices(
        const std::vector<std::pair<std::string, std::optional<std::string>>>& names);

    struct State;
    class Subscription;
    std::shared_ptr<State> state_;  // Shared with the devices and subscriptions, which hold it weakly.
};

}  // namespace vel
