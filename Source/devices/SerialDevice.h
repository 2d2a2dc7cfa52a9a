#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>

namespace vel {

// Registry keys of a serial device's string properties.
inline constexpr const char* kIOCalloutDeviceKey = "IOCalloutDevice";
inline constexpr const char* kIODialinDeviceKey = "IODialinDevice";
inline constexpr const char* kIOTTYDeviceKey = "IOTTYDevice";
inline constexpr const char* kIOTTYBaseNameKey = "IOTTYBaseName";
inline constexpr const char* kIOTTYSuffixKey = "IOTTYSuffix";
inline constexpr const char* kIOSerialBSDClientTypeKey = "IOSerialBSDClientType";
inline constexpr const char* kIOSerialStreamType = "IOSerialStream";

// What a user reads to tell one adapter from another, where udev knows it
// (each key only when the device has a value): the model and the vendor
// (udev's hardware database names when it has them, else what the device
// reports), the serial number, the USB vendor and product ids as
// "vvvv:pppp", and the device's /dev/serial/by-id/ link.
inline constexpr const char* kModelKey = "Model";
inline constexpr const char* kVendorKey = "Vendor";
inline constexpr const char* kSerialNumberKey = "SerialNumber";
inline constexpr const char* kUSBVendorProductKey = "USBVendorProduct";
inline constexpr const char* kByIdLinkKey = "ByIdLink";
// "yes" for a pseudo-terminal standing in for a device (a virtual device, or
// a terminal found by its path, such as a socat pty); absent otherwise.
inline constexpr const char* kPseudoTerminalKey = "PseudoTerminal";

// One serial stream device as a registry lists it: an immutable set of
// string properties under the keys above. Devices are handed around as
// reference-counted DeviceHandles; a null handle means "no device".
class SerialDevice {
public:
    using Properties = std::map<std::string, std::string>;

    explicit SerialDevice(Properties properties) : properties_(std::move(properties)) {}

    // The property itself, or nothing when the device lacks it.
    std::optional<std::string> property(const std::string& key) const
    {
        auto it = properties_.find(key);
        if (it == properties_.end()) {
            return std::nullopt;
        }
        return it->second;
    }

    const Properties& properties() const { return properties_; }

private:
    Properties properties_;
};

using DeviceHandle = std::shared_ptr<const SerialDevice>;

}  // namespace vel
