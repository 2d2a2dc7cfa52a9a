#pragma once

#include <memory>

class UserNotification;
class UserNotificationCenter;

// What a UserNotificationCenter tells and asks its delegate. A centre holds
// its delegate without owning it and forgets it by itself when the delegate
// is destroyed, so a delegate never has to unregister.
class UserNotificationCenterDelegate {
public:
    virtual ~UserNotificationCenterDelegate() = default;

    // The server has shown the notification; it carries its delivered id.
    virtual void userNotificationCenterDidDeliverNotification(UserNotificationCenter& center,
                                                              const UserNotification& notification) = 0;
    // Asked before each notification goes to the server; false keeps it off
    // the screen.
    virtual bool userNotificationCenterShouldPresentNotification(UserNotificationCenter& center,
                                                                 const UserNotification& notification) = 0;

protected:
    UserNotificationCenterDelegate() = default;
    // A copy is a different delegate and must not share the original's
    // lifetime token.
    UserNotificationCenterDelegate(const UserNotificationCenterDelegate&) = delete;
    UserNotificationCenterDelegate& operator=(const UserNotificationCenterDelegate&) = delete;

private:
    friend class UserNotificationCenter;

    // A weak reference that expires with this delegate: it shares ownership
    // of the lifetime token, not of the delegate.
    std::weak_ptr<UserNotificationCenterDelegate> weakReference();

    std::shared_ptr<int> lifetime_ = std::make_shared<int>(0);
};
