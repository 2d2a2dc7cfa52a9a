#pragma once

#include <any>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vel {

using UserInfo = std::map<std::string, std::any>;

struct Notification {
    std::string name;
    const void* sender = nullptr;
    UserInfo userInfo;
};

// The in-process notification centre. Observers register for a name, from
// any sender or from one; posting calls every matching observer
// synchronously on the posting thread, in the order they registered.
class NotificationCenter {
public:
    using Handler = std::function<void(const Notification&)>;

    static NotificationCenter& defaultCenter();

    NotificationCenter() = default;
    NotificationCenter(const NotificationCenter&) = delete;
    NotificationCenter& operator=(const NotificationCenter&) = delete;

    // `observer` only identifies the registration for removeObserver; a null
    // `sender` means from any sender.
    void addObserver(const void* observer, std::string name, const void* sender, Handler handler);

    // Removes every registration of the observer (or only those for `name`).
    // Once it returns, no handler of those registrations runs again, also on
    // other threads: a call in progress elsewhere is waited for.
    void removeObserver(const void* observer);
    void removeObserver(const void* observer, const std::string& name);

    void postNotification(const std::string& name, const void* sender, UserInfo userInfo = {});

private:
    struct Registration;
    void removeWhere(const std::function<bool(const Registration&)>& matches);
    std::mutex mutex_;
    std::vector<std::shared_ptr<Registration>> registrations_;
};

}  // namespace vel
