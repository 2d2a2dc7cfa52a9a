#include "ports/UdevDeviceProperties.h"

#include <libudev.h>
#include <sys/stat.h>

void UdevDeviceProperties::Deleter::operator()(udev* context) const
{
    udev_unref(context);
}

void UdevDeviceProperties::Deleter::operator()(udev_device* device) const
{
    udev_device_unref(device);
}

UdevDeviceProperties::UdevDeviceProperties(const std::string& path)
{
    struct stat node {};
    if (::stat(path.c_str(), &node) != 0 || !S_ISCHR(node.st_mode)) {
        return;
    }
    context_.reset(udev_new());
    if (context_) {
        device_.reset(udev_device_new_from_devnum(context_.get(), 'c', node.st_rdev));
    }
}

UdevDeviceProperties::~UdevDeviceProperties() = default;

QString UdevDeviceProperties::value(std::initializer_list<const char*> keys) const
{
    if (!device_) {
        return {};
    }
    for (const char* key : keys) {
        if (const char* found = udev_device_get_property_value(device_.get(), key); found && *found) {
            return QString::fromUtf8(found);
        }
    }
    return {};
}
