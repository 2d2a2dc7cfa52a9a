#pragma once

#include <QString>
#include <initializer_list>
#include <memory>
#include <string>

struct udev;
struct udev_device;

// The udev properties (ID_VENDOR, ID_SERIAL_SHORT, ...) of the character
// device at a path, for naming a port and telling one adapter from another.
//
// Reads the device node and the udev database on the calling thread, in the
// constructor; never fails: a path that is no character device, or one that
// udev does not know, simply has no properties.
class UdevDeviceProperties {
public:
    explicit UdevDeviceProperties(const std::string& path);
    ~UdevDeviceProperties();
    UdevDeviceProperties(const UdevDeviceProperties&) = delete;
    UdevDeviceProperties& operator=(const UdevDeviceProperties&) = delete;

    bool isEmpty() const { return !device_; }
    // The value of the first of `keys` that the device has and that is not
    // empty, as udev stores it; empty when there is none.
    QString value(std::initializer_list<const char*> keys) const;

private:
    struct Deleter {
        void operator()(udev* context) const;
        void operator()(udev_device* device) const;
    };
    std::unique_ptr<udev, Deleter> context_;
    std::unique_ptr<udev_device, Deleter> device_;
};
