#include "desktop/UserNotificationCenterDelegate.h"

std::weak_ptr<UserNotificationCenterDelegate> UserNotificationCenterDelegate::weakReference()
{
    return std::shared_ptr<UserNotificationCenterDelegate>(lifetime_, this);
}
