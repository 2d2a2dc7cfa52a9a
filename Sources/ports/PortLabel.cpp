#include "ports/PortLabel.h"

#include <QCoreApplication>
#include <QStringList>
#include <algorithm>
#include <memory>

#include "VELSerialPort.h"
#include "devices/SerialDevice.h"

namespace {

QString entryValue(const vel::DeviceHandle& device, const char* key)
{
    if (!device) {
        return {};
    }
    // udev writes spaces in ID_MODEL and ID_VENDOR as underscores.
    return QString::fromStdString(device->property(key).value_or(std::string()))
        .replace(QLatin1Char('_'), QLatin1Char(' '))
        .trimmed();
}

}  // namespace

QString PortLabel::of(const std::shared_ptr<VELSerialPort>& port)
{
    if (!port) {
        return {};
    }
    const std::string name = port->name();
    const QString shown = QString::fromStdString(name);
    const bool numberOnly = !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return c >= '0' && c <= '9';
    });
    const vel::DeviceHandle device = port->IOKitDevice();
    if (device && device->property(vel::kPseudoTerminalKey) && numberOnly) {
        return QCoreApplication::translate("PortLabel", "pts/%1 (pseudo-terminal)").arg(shown);
    }
    const QString model = entryValue(device, vel::kModelKey);
    const QString vendor = entryValue(device, vel::kVendorKey);
    const QString serial = entryValue(device, vel::kSerialNumberKey);
    QStringList details;
    for (const QString& detail : {vendor, serial}) {
        if (!detail.isEmpty()) {
            details << detail;
        }
    }
    if (model.isEmpty() && details.isEmpty()) {
        return shown;
    }
    QString label = shown + QStringLiteral(" \u2014 ") + (model.isEmpty() ? details.takeFirst() : model);
    if (!details.isEmpty()) {
        label += QStringLiteral(" (") + details.join(QStringLiteral(", ")) + QLatin1Char(')');
    }
    return label;
}
