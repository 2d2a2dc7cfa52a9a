#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "devices/SerialDevice.h"

namespace vel {

class MainQueue;

// Ends a registry subscription when destroyed.
class RegistrySubscription {
public:
    virtual ~RegistrySubscription() = default;
};

// A source of serial stream devices: what is present now, lookup by path, and
// arrivals and removals in batches.
class DeviceRegistry {
public:
    using Batch = std::vector<DeviceHandle>;
    struct Events {
        std::function<void(const Batch&)> arrived;
        std::function<void(const Batch&)> removed;
    };

    virtual ~DeviceRegistry() = default;

    // Every serial stream device present now, in the registry's order.
    virtual std::vector<DeviceHandle> enumerate() = 0;

    // The device whose callout or dial-in path equals `path`, or null.
    virtual DeviceHandle deviceWithPath(const std::string& path) = 0;

    // Delivers each batch of arrivals and removals on the main queue for as
    // long as the subscription lives.
    virtual std::unique_ptr<RegistrySubscription> subscribe(MainQueue& mainQueue, Events events) = 0;

    // The registry the library uses: the udev registry and the virtual one
    // together, plus bare pseudo-terminals named by path.
    static DeviceRegistry& system();
};

}  // namespace vel
