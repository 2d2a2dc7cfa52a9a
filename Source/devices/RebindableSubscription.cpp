#include "devices/RebindableSubscription.h"

#include <utility>

#include "dispatch/MainQueue.h"

namespace vel {

RebindableSubscription::RebindableSubscription(DeviceRegistry& registry, DeviceRegistry::Events events)
    : registry_(registry), events_(std::move(events))
{
}

RebindableSubscription::~RebindableSubscription()
{
    // The subscription's watches refer to the queue: end them first.
    subscription_.reset();
    queue_.reset();
}

bool RebindableSubscription::isBoundTo(const MainQueue& queue) const
{
    std::lock_guard lock(mutex_);
    return queue_.get() == &queue;
}

void RebindableSubscription::bind(std::shared_ptr<MainQueue> queue)
{
    auto subscription = registry_.subscribe(*queue, events_);
    std::unique_ptr<RegistrySubscription> previousSubscription;
    std::shared_ptr<MainQueue> previousQueue;
    {
        std::lock_guard lock(mutex_);
        previousSubscription = std::exchange(subscription_, std::move(subscription));
        previousQueue = std::exchange(queue_, std::move(queue));
    }
    // Outside the lock: ending a subscription waits for a delivery in
    // progress, and that delivery may ask isBoundTo.
    previousSubscription.reset();
    previousQueue.reset();
}

}  // namespace vel
