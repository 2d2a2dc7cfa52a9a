#include "ports/HotPlugAnnouncer.h"

#include <any>
#include <iostream>
#include <string>

#include "VELSerialPort.h"
#include "VELSerialPortManager.h"
#include "desktop/UserNotification.h"
#include "desktop/UserNotificationCenter.h"
#include "support/NotificationCenter.h"

namespace {

// The port list of a hot-plug notification; null when it carries none.
const HotPlugAnnouncer::Ports* portsUnder(const vel::Notification& notification, const char* key)
{
    const auto entry = notification.userInfo.find(key);
    if (entry == notification.userInfo.end()) {
        return nullptr;
    }
    return std::any_cast<HotPlugAnnouncer::Ports>(&entry->second);
}

void writeLine(const char* prefix, const HotPlugAnnouncer::Ports& ports)
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

void deliver(UserNotificationCenter* center, const HotPlugAnnouncer::Ports& ports, const QString& title,
             const QString& text, const char* category)
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
        notification.setLifetime(HotPlugAnnouncer::deliveredNotificationLifetime);
        center->deliverNotification(notification);
    }
}

}  // namespace

HotPlugAnnouncer::HotPlugAnnouncer(UserNotificationCenter* center, QObject* parent)
    : QObject(parent), center_(center)
{
}

void HotPlugAnnouncer::portsWereConnected(const vel::Notification& notification)
{
    if (const Ports* ports = portsUnder(notification, VELConnectedSerialPortsKey)) {
        writeLine("Ports were connected: ", *ports);
        postConnected(*ports);
    }
}

void HotPlugAnnouncer::portsWereDisconnected(const vel::Notification& notification)
{
    if (const Ports* ports = portsUnder(notification, VELDisconnectedSerialPortsKey)) {
        std::erase_if(announcedDisconnections_, [](const auto& port) { return port.expired(); });
        for (const auto& port : *ports) {
            announcedDisconnections_.push_back(port);
        }
        writeLine("Ports were disconnected: ", *ports);
        postDisconnected(*ports);
    }
}

void HotPlugAnnouncer::postConnected(const Ports& ports)
{
    //: The title of the desktop notification when a serial device is plugged in.
    deliver(center_, ports, tr("Serial Port Connected"),
            //: %1 is the port's name, such as ttyUSB0.
            tr("Serial Port %1 was connected to this computer."), "device.added");
}

void HotPlugAnnouncer::postDisconnected(const Ports& ports)
{
    //: The title of the desktop notification when a serial device is unplugged.
    deliver(center_, ports, tr("Serial Port Disconnected"),
            //: %1 is the port's name, such as ttyUSB0.
            tr("Serial Port %1 was disconnected from this computer."), "device.removed");
}

bool HotPlugAnnouncer::announcedRemovalOf(const std::shared_ptr<VELSerialPort>& port) const
{
    for (const auto& announced : announcedDisconnections_) {
        if (announced.lock() == port) {
            return true;
        }
    }
    return false;
}
