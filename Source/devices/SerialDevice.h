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
