// The controller's hot-plug side, as the window's design names it: each
// step is the HotPlugAnnouncer's.
#include "SerialPortDemoController.h"

#include "desktop/UserNotification.h"
#include "desktop/UserNotificationCenter.h"

void SerialPortDemoController::serialPortsWereConnected(const vel::Notification& notification)
{
    hotPlug_.portsWereConnected(notification);
}

void SerialPortDemoController::serialPortsWereDisconnected(const vel::Notification& notification)
{
    hotPlug_.portsWereDisconnected(notification);
}

void SerialPortDemoController::postUserNotificationForConnectedPorts(const Ports& ports)
{
    hotPlug_.postConnected(ports);
}

void SerialPortDemoController::postUserNotificationForDisconnectedPorts(const Ports& ports)
{
    hotPlug_.postDisconnected(ports);
}

void SerialPortDemoController::userNotificationCenterDidDeliverNotification(UserNotificationCenter&,
                                                                            const UserNotification&)
{
    // Nothing to do: each hot-plug notification carries its lifetime, and
    // the centre withdraws it when that has passed.
}

bool SerialPortDemoController::userNotificationCenterShouldPresentNotification(UserNotificationCenter&,
                                                                               const UserNotification&)
{
    // Hot-plug news matters most while the user is working in the window.
    return true;
}
