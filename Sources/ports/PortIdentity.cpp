#include "ports/PortIdentity.h"

#include <QStringList>
#include <algorithm>

#include "VELSerialPort.h"
#include "devices/SerialDevice.h"

namespace {

// "usb:<vendor>:<product>:<serial>", or empty unless the device entry has
// all three: without a serial number two adapters of one model would be one
// identity.
QString usbIdentity(const vel::DeviceHandle& device)
{
    if (!device) {
        return {};
    }
    const auto ids = device->property(vel::kUSBVendorProductKey);
    const auto serial = device->property(vel::kSerialNumberKey);
    if (!ids || !serial || ids->empty() || serial->empty()) {
        return {};
    }
    return QStringLiteral("usb:") + QString::fromStdString(*ids) + QLatin1Char(':') + QString::fromStdString(*serial);
}

}  // namespace

QString PortIdentity::of(const std::shared_ptr<VELSerialPort>& port)
{
    if (!port) {
        return {};
    }
    const vel::DeviceHandle device = port->IOKitDevice();
    const std::string dialin = device ? device->property(vel::kIODialinDeviceKey).value_or(std::string()) : std::string();
    if (dialin.starts_with("/dev/serial/by-id/")) {
        return QStringLiteral("by-id:") + QString::fromStdString(dialin);
    }
    const std::string path = port->path();
    if (QString usb = usbIdentity(device); !usb.isEmpty()) {
        return usb;
    }
    const std::string name = port->name();
    const bool numberOnly = std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (device && device->property(vel::kPseudoTerminalKey) && !name.empty() && !numberOnly) {
        return QStringLiteral("virtual:") + QString::fromStdString(name);
    }
    return QStringLiteral("path:") + QString::fromStdString(path);
}

std::shared_ptr<VELSerialPort> PortIdentity::findIn(const std::vector<std::shared_ptr<VELSerialPort>>& ports,
                                                    const QString& identity)
{
    if (identity.isEmpty()) {
        return nullptr;
    }
    for (const auto& port : ports) {
        if (port && of(port) == identity) {
            return port;
        }
    }
    return nullptr;
}
