#include "PortLabel.h"

#include <libudev.h>
#include <sys/stat.h>

#include <QCoreApplication>
#include <QStringList>
#include <algorithm>
#include <memory>

namespace {

struct UdevDeleter {
    void operator()(udev* context) const { udev_unref(context); }
    void operator()(udev_device* device) const { udev_device_unref(device); }
};

QString firstProperty(udev_device* device, std::initializer_list<const char*> keys)
{
    for (const char* key : keys) {
        if (const char* value = udev_device_get_property_value(device, key); value && *value) {
            // udev writes spaces in ID_MODEL and ID_VENDOR as underscores.
            return QString::fromUtf8(value).replace(QLatin1Char('_'), QLatin1Char(' ')).trimmed();
        }
    }
    return {};
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
    struct stat node {};
    if (::stat(path.c_str(), &node) != 0 || !S_ISCHR(node.st_mode)) {
        return shown;
    }
    const std::unique_ptr<udev, UdevDeleter> context(udev_new());
    if (!context) {
        return shown;
    }
    const std::unique_ptr<udev_device, UdevDeleter> device(
        udev_device_new_from_devnum(context.get(), 'c', node.st_rdev));
    if (!device) {
        return shown;
    }
    const QString model = firstProperty(device.get(), {"ID_MODEL_FROM_DATABASE", "ID_MODEL"});
    const QString vendor = firstProperty(device.get(), {"ID_VENDOR_FROM_DATABASE", "ID_VENDOR"});
    const QString serial = firstProperty(device.get(), {"ID_SERIAL_SHORT"});
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
