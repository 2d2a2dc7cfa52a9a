#include "support/NotificationCenter.h"

#include <algorithm>

namespace vel {

struct NotificationCenter::Registration {
    const void* observer;
    std::string name;
    const void* sender;
    Handler handler;
    // Held while the handler runs, so that removal can wait for a call in
    // progress on another thread; recursive so that a handler may remove
    // itself.
    std::recursive_mutex callMutex;
    bool removed = false;
};

NotificationCenter& NotificationCenter::defaultCenter()
{
    static NotificationCenter center;
    return center;
}

void NotificationCenter::addObserver(const void* observer, std::string name, const void* sender, Handler handler)
{
    auto registration = std::make_shared<Registration>();
    registration->observer = observer;
    registration->name = std::move(name);
    registration->sender = sender;
    registration->handler = std::move(handler);
    std::lock_guard lock(mutex_);
    registrations_.push_back(std::move(registration));
}

void NotificationCenter::removeObserver(const void* observer)
{
    removeWhere([&](const Registration& r) { return r.observer == observer; });
}

void NotificationCenter::removeObserver(const void* observer, const std::string& name)
{
    removeWhere([&](const Registration& r) { return r.observer == observer && r.name == name; });
}

void NotificationCenter::removeWhere(const std::function<bool(const Registration&)>& matches)
{
    std::vector<std::shared_ptr<Registration>> removed;
    {
        std::lock_guard lock(mutex_);
        auto split = std::stable_partition(registrations_.begin(), registrations_.end(),
                                           [&](const auto& r) { return !matches(*r); });
        removed.assign(split, registrations_.end());
        registrations_.erase(split, registrations_.end());
    }
    // Waits for a call in progress on another thread before returning.
    for (const auto& registration : removed) {
        std::lock_guard call(registration->callMutex);
        registration->removed = true;
    }
}

void NotificationCenter::postNotification(const std::string& name, const void* sender, UserInfo userInfo)
{
    std::vector<std::shared_ptr<Registration>> matching;
    {
        std::lock_guard lock(mutex_);
        for (const auto& r : registrations_) {
            if (r->name == name && (r->sender == nullptr || r->sender == sender)) {
                matching.push_back(r);
            }
        }
    }
    const Notification notification{name, sender, std::move(userInfo)};
    for (const auto& registration : matching) {
        std::lock_guard call(registration->callMutex);
        if (!registration->removed) {
            registration->handler(notification);
        }
    }
}

}  // namespace vel
