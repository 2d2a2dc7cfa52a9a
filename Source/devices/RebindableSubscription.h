#pragma once

#include <memory>
#include <mutex>

#include "devices/DeviceRegistry.h"

namespace vel {

class MainQueue;

// A registry subscription that can be moved to another main queue. A
// subscription delivers through the queue it was made with, and the
// process's main queue may be replaced (each test installs its own); a
// subscriber that lives for the whole process moves along with it.
//
// The queue in use is kept alive until the subscription moves on: the
// registry's watches on it must not outlive it.
class RebindableSubscription {
public:
    RebindableSubscription(DeviceRegistry& registry, DeviceRegistry::Events events);
    ~RebindableSubscription();
    RebindableSubscription(const RebindableSubscription&) = delete;
    RebindableSubscription& operator=(const RebindableSubscription&) = delete;

    // Whether batches are delivered through `queue`. Any thread.
    bool isBoundTo(const MainQueue& queue) const;

    // Delivers through `queue` from now on and ends the previous
    // subscription; batches still queued on the previous queue are lost.
    // Call on the main thread of `queue`.
    void bind(std::shared_ptr<MainQueue> queue);

private:
    DeviceRegistry& registry_;
    const DeviceRegistry::Events events_;
    mutable std::mutex mutex_;
    std::shared_ptr<MainQueue> queue_;                     // Guarded by mutex_.
    std::unique_ptr<RegistrySubscription> subscription_;  // Guarded by mutex_.
};

}  // namespace vel
