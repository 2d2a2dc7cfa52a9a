// The controller's hot-plug side: a standard-output line for each event of
// the port manager, and a silent desktop notification per port.
#include "SerialPortDemoController.h"

#include <QTimer>
#include <any>
#include <iostream>
#include <string>

#include "desktop/UserNotification.h"
#include "desktop/UserNotificationCenter.h"
#include "support/NotificationCenter.h"
#include "VELSerialPort.h"
#include "VELSerialPortManager.h"

namespace {

// The port list of a hot-plug notification; null when it carries none.
const SerialPortDemoController::Ports* portsUnder(const vel::Notification& notification, const char* key)
{
    const auto entry = notification.userInfo.find(key);
    if (entry == notification.userInfo.end()) {
        return nullptr;
    }
    return std::any_cast<SerialPortDemoController::Ports>(&entry->second);
}

void writeHotPlugLine(const char* prefix, const SerialPortDemoController::Ports& ports)
{
    std::string line = prefix;
    line += '[';
    for (std::size_t i = 0; i < ports.size(); ++i) {
        if (i > 0) {
            line += ", ";
        }
        line += ports[i] ? ports[i]->description() : std::string();
    }
    line += ']';
    std::cout << line << std::endl;
}

void deliverHotPlugNotifications(UserNotificationCenter* center, const SerialPortDemoController::Ports& ports,
                                 const QString& title, const QString& text, const char* category)
{
    if (!center) {
        return;
    }
    for (const auto& port : ports) {
        UserNotification notification;
        notification.setTitle(title);
        notification.setInformativeText(text.arg(QString::fromStdString(port ? port->name() : std::string())));
        notification.setSoundName(std::nullopt);
        notification.setCategory(QString::fromLatin1(category));
        center->deliverNotification(notification);
    }
}

}  // namespace

void SerialPortDemoController::serialPortsWereConnected(const vel::Notification& notification)
{
    if (const Ports* ports = portsUnder(notification, VELConnectedSerialPortsKey)) {
        writeHotPlugLine("Ports were connected: ", *ports);
        postUserNotificationForConnectedPorts(*ports);
    }
}

void SerialPortDemoController::serialPortsWereDisconnected(const vel::Notification& notification)
{
    if (const Ports* ports = portsUnder(notification, VELDisconnectedSerialPortsKey)) {
        std::erase_if(announcedDisconnections_, [](const auto& port) { return port.expired(); });
        for (const auto& port : *ports) {
            announcedDisconnections_.push_back(port);
        }
        writeHotPlugLine("Ports were disconnected: ", *ports);
        postUserNotificationForDisconnectedPorts(*ports);
    }
}

void SerialPortDemoController::postUserNotificationForConnectedPorts(const Ports& ports)
{
    //: The title of the desktop notification when a serial device is plugged in.
    deliverHotPlugNotifications(userNotificationCenter_, ports, tr("Serial Port Connected"),
                                //: %1 is the port's name, such as ttyUSB0.
                                tr("Serial Port %1 was connected to this computer."), "device.added");
}

void SerialPortDemoController::postUserNotificationForDisconnectedPorts(const Ports& ports)
{
    //: The title of the desktop notification when a serial device is unplugged.
    deliverHotPlugNotifications(userNotificationCenter_, ports, tr("Serial Port Disconnected"),
                                //: %1 is the port's name, such as ttyUSB0.
                                tr("Serial Port %1 was disconnected from this computer."), "device.removed");
}

void SerialPortDemoController::userNotificationCenterDidDeliverNotification(UserNotificationCenter& center,
                                                                            const UserNotification& notification)
{
    // The centre is the timer's context, not the controller: a notification
    // still on screen when the window goes must go away all the same.
    QTimer::singleShot(deliveredNotificationLifetime, Qt::PreciseTimer, &center,
                       [&center, notification] { center.removeDeliveredNotification(notification); });
}

bool SerialPortDemoController::userNotificationCenterShouldPresentNotification(UserNotificationCenter&,
                                                                               const UserNotification&)
{
    // Hot-plug news matters most while the user is working in the window.
    return true;
}
