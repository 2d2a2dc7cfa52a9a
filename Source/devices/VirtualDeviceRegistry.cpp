#include "devices/VirtualDeviceRegistry.h"

#include <fcntl.h>
#include <termios.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <optional>
#include <set>
#include <system_error>
#include <utility>

#include "dispatch/GlobalQueue.h"
#include "dispatch/MainQueue.h"
#include "support/NoDestroy.h"

namespace vel {

namespace {

[[noreturn]] void fail(const char* what)
{
    throw std::system_error(errno, std::generic_category(), what);
}

// A raw pseudo-terminal whose slave nobody has open yet.
UniqueFd openMaster(std::string& slavePath)
{
    // posix_openpt rather than openpty: close-on-exec from the start, and no
    // slave descriptor that would only have to be closed again.
    UniqueFd master(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!master) {
        fail("posix_openpt");
    }
    if (::grantpt(master.get()) != 0) {
        fail("grantpt");
    }
    if (::unlockpt(master.get()) != 0) {
        fail("unlockpt");
    }
    char name[128];
    if (int error = ::ptsname_r(master.get(), name, sizeof name); error != 0) {
        errno = error;
        fail("ptsname_r");
    }
    termios raw{};
    if (::tcgetattr(master.get(), &raw) != 0) {
        fail("tcgetattr");
    }
    ::cfmakeraw(&raw);
    if (::tcsetattr(master.get(), TCSANOW, &raw) != 0) {
        fail("tcsetattr");
    }
    slavePath = name;
    return master;
}

// Names are unique among the devices alive in the process, not only in one
// registry. Numbers are handed out in order; a name comes back only when
// asked for by its suffix, once its device is gone.
struct DeviceNames {
    std::mutex mutex;
    unsigned nextNumber = 0;
    std::set<std::string> alive;

    // The suffix taken: the one asked for, or the next free number.
    std::string take(const std::string& baseName, const std::optional<std::string>& suffix)
    {
        std::lock_guard lock(mutex);
        if (suffix) {
            if (!alive.insert(baseName + *suffix).second) {
                throw std::system_error(EEXIST, std::generic_category(), "virtual device " + baseName + *suffix);
            }
            return *suffix;
        }
        for (;;) {
            std::string number = std::to_string(nextNumber++);
            if (alive.insert(baseName + number).second) {
                return number;
            }
        }
    }

    void release(const std::string& name)
    {
        std::lock_guard lock(mutex);
        alive.erase(name);
    }
};

DeviceNames& deviceNames()
{
    static NoDestroy<DeviceNames> names;
    return names.get();
}

}  // namespace

VirtualDevice::VirtualDevice(DeviceHandle device, UniqueFd master, std::string slavePath,
                             std::function<void()> onDestroyed)
    : device_(std::move(device)),
      master_(std::move(master)),
      slavePath_(std::move(slavePath)),
      onDestroyed_(std::move(onDestroyed))
{
}

VirtualDevice::~VirtualDevice()
{
    if (onDestroyed_) {
        onDestroyed_();
    }
}

std::string VirtualDevice::name() const
{
    return device_ ? device_->property(kIOTTYDeviceKey).value_or(std::string()) : std::string();
}

namespace {

// One subscription's callbacks. Deliveries hold callMutex, so that ending the
// subscription on another thread waits for a delivery in progress; recursive
// so that a callback may end its own subscription.
struct Subscriber {
    Subscriber(MainQueue& queue, DeviceRegistry::Events events) : queue(queue), events(std::move(events)) {}

    void deliver(const DeviceRegistry::Batch& batch, bool arrived)
    {
        std::lock_guard call(callMutex);
        // A copy: the callback may end the subscription, which drops events.
        auto handler = arrived ? events.arrived : events.removed;
        if (handler) {
            handler(batch);
        }
    }

    void end()
    {
        DeviceRegistry::Events dropped;
        std::lock_guard call(callMutex);
        dropped = std::exchange(events, {});
    }

    MainQueue& queue;
    std::recursive_mutex callMutex;
    DeviceRegistry::Events events;  // Guarded by callMutex; emptied when the subscription ends.
};

}  // namespace

struct VirtualDeviceRegistry::State {
    // Posts the batch to every subscriber. Called with the mutex held, so
    // that batches reach each queue in the order of the changes.
    void announce(const Batch& batch, bool arrived)
    {
        for (const auto& subscriber : subscribers) {
            subscriber->queue.post([subscriber, batch, arrived] { subscriber->deliver(batch, arrived); });
        }
    }

    // Unlists those of `devices` that are listed and announces them.
    void unlist(const std::vector<DeviceHandle>& devices)
    {
        std::lock_guard lock(mutex);
        Batch removed;
        for (const auto& device : devices) {
            auto it = std::find(listed.begin(), listed.end(), device);
            if (it != listed.end()) {
                listed.erase(it);
                removed.push_back(device);
            }
        }
        if (!removed.empty()) {
            announce(removed, false);
        }
    }

    std::mutex mutex;
    // The entries only: the devices themselves (and their masters) belong to
    // their owners.
    std::vector<DeviceHandle> listed;
    std::vector<std::shared_ptr<Subscriber>> subscribers;
};

class VirtualDeviceRegistry::Subscription : public RegistrySubscription {
public:
    Subscription(std::weak_ptr<State> state, std::shared_ptr<Subscriber> subscriber)
        : state_(std::move(state)), subscriber_(std::move(subscriber))
    {
    }

    ~Subscription() override
    {
        if (auto state = state_.lock()) {
            std::lock_guard lock(state->mutex);
            std::erase(state->subscribers, subscriber_);
        }
        subscriber_->end();
    }

    Subscription(const Subscription&) = delete;
    Subscription& operator=(const Subscription&) = delete;

private:
    std::weak_ptr<State> state_;
    std::shared_ptr<Subscriber> subscriber_;
};

VirtualDeviceRegistry& VirtualDeviceRegistry::shared()
{
    // Ports and the port manager may still use it from static destructors.
    static NoDestroy<VirtualDeviceRegistry> registry;
    return registry.get();
}

VirtualDeviceRegistry::VirtualDeviceRegistry() : state_(std::make_shared<State>()) {}

VirtualDeviceRegistry::~VirtualDeviceRegistry() = default;

std::shared_ptr<VirtualDevice> VirtualDeviceRegistry::createDevice(const std::string& baseName)
{
    return createNamedDevices({{baseName, std::nullopt}}).front();
}

std::shared_ptr<VirtualDevice> VirtualDeviceRegistry::createDevice(const std::string& baseName,
                                                                   const std::string& suffix)
{
    return createNamedDevices({{baseName, suffix}}).front();
}

std::vector<std::shared_ptr<VirtualDevice>> VirtualDeviceRegistry::createDevices(
    const std::vector<std::string>& baseNames)
{
    std::vector<std::pair<std::string, std::optional<std::string>>> names;
    for (const auto& baseName : baseNames) {
        names.emplace_back(baseName, std::nullopt);
    }
    return createNamedDevices(names);
}

std::vector<std::shared_ptr<VirtualDevice>> VirtualDeviceRegistry::createNamedDevices(
    const std::vector<std::pair<std::string, std::optional<std::string>>>& names)
{
    std::vector<std::shared_ptr<VirtualDevice>> created;
    Batch batch;
    for (const auto& [baseName, askedSuffix] : names) {
        std::string slavePath;
        UniqueFd master = openMaster(slavePath);
        const std::string suffix = deviceNames().take(baseName, askedSuffix);
        auto device = std::make_shared<const SerialDevice>(SerialDevice::Properties{
            {kIOCalloutDeviceKey, slavePath},
            {kIODialinDeviceKey, slavePath},
            {kIOTTYDeviceKey, baseName + suffix},
            {kIOTTYBaseNameKey, baseName},
            {kIOTTYSuffixKey, suffix},
            {kIOSerialBSDClientTypeKey, kIOSerialStreamType},
            {kPseudoTerminalKey, "yes"},
        });
        std::weak_ptr<State> state = state_;
        created.push_back(std::make_shared<VirtualDevice>(device, std::move(master), slavePath,
                                                          [state, device, name = baseName + suffix] {
                                                              if (auto alive = state.lock()) {
                                                                  alive->unlist({device});
                                                              }
                                                              deviceNames().release(name);
                                                          }));
        batch.push_back(std::move(device));
    }
    if (!batch.empty()) {
        std::lock_guard lock(state_->mutex);
        state_->listed.insert(state_->listed.end(), batch.begin(), batch.end());
        state_->announce(batch, true);
    }
    return created;
}

void VirtualDeviceRegistry::removeDevice(const std::shared_ptr<VirtualDevice>& device)
{
    removeDevices({device});
}

void VirtualDeviceRegistry::removeDevices(const std::vector<std::shared_ptr<VirtualDevice>>& devices)
{
    std::vector<DeviceHandle> entries;
    for (const auto& device : devices) {
        if (device) {
            entries.push_back(device->device());
        }
    }
    state_->unlist(entries);
}

std::vector<DeviceHandle> VirtualDeviceRegistry::enumerate()
{
    std::lock_guard lock(state_->mutex);
    return state_->listed;
}

DeviceHandle VirtualDeviceRegistry::deviceWithPath(const std::string& path)
{
    auto matches = [](const DeviceHandle& device, const std::string& candidate) {
        return device->property(kIOCalloutDeviceKey) == candidate || device->property(kIODialinDeviceKey) == candidate;
    };
    const auto listed = enumerate();
    for (const auto& device : listed) {
        if (matches(device, path)) {
            return device;
        }
    }
    std::error_code error;
    const auto resolved = std::filesystem::canonical(path, error);
    if (error || resolved == path) {
        return nullptr;
    }
    for (const auto& device : listed) {
        if (matches(device, resolved.string())) {
            return device;
        }
    }
    return nullptr;
}

std::unique_ptr<RegistrySubscription> VirtualDeviceRegistry::subscribe(MainQueue& mainQueue, Events events)
{
    auto subscriber = std::make_shared<Subscriber>(mainQueue, std::move(events));
    {
        std::lock_guard lock(state_->mutex);
        state_->subscribers.push_back(subscriber);
    }
    return std::make_unique<Subscription>(state_, std::move(subscriber));
}

}  // namespace vel
