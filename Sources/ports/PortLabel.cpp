#include "ports/PortLabel.h"

#include <QCoreApplication>
#include <QStringList>
#include <algorithm>
#include <memory>

#include "ports/UdevDeviceProperties.h"

namespace {

QString firstProperty(const UdevDeviceProperties& device, std::initializer_list<const char*> keys)
{
    // udev writes spaces in ID_MODEL and ID_VENDOR as underscores.
    return device.value(keys).replace(QLatin1Char('_'), QLatin1Char(' ')).trimmed();
}

}  // namespace

QString PortLabel::of(const std::string& name, const std::string& path)
{
    const QString shown = QString::fromStdString(name);
    const bool numberOnly = !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return c >= '0' && c <= '9';
    });
    if (path.rfind("/dev/pts/", 0) == 0 && numberOnly) {
        return QCoreApplication::translate("PortLabel", "pts/%1 (pseudo-terminal)").arg(shown);
    }
    const UdevDeviceProperties device(path);
    if (device.isEmpty()) {
        return shown;
    }
    const QString model = firstProperty(device, {"ID_MODEL_FROM_DATABASE", "ID_MODEL"});
    const QString vendor = firstProperty(device, {"ID_VENDOR_FROM_DATABASE", "ID_VENDOR"});
    const QString serial = firstProperty(device, {"ID_SERIAL_SHORT"});
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
