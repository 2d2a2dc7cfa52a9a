// The MQTT command payloads as a broker may deliver them: any bytes. Every
// accepted value must be in range and must read back from its own text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>

#include "remote/MqttPayload.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view payload(reinterpret_cast<const char*>(data), size);
    if (const auto rgb = MqttPayload::rgb(payload)) {
        std::string text;
        for (const int component : *rgb) {
            if (component < 0 || component > 255) {
                std::abort();
            }
            text += (text.empty() ? "" : ",") + std::to_string(component);
        }
        if (text != payload) {
            std::abort();
        }
    }
    if (const auto level = MqttPayload::brightness(payload)) {
        if (*level < 0 || *level > 255 || std::to_string(*level) != payload) {
            std::abort();
        }
    }
    if (const auto state = MqttPayload::onOff(payload)) {
        if (payload != (*state ? "ON" : "OFF")) {
            std::abort();
        }
    }
    for (const auto options : {std::span<const std::string_view>(MqttPayload::effects),
                               std::span<const std::string_view>(MqttPayload::modes)}) {
        if (const auto index = MqttPayload::oneOf(payload, options)) {
            if (*index >= options.size() || options[*index] != payload) {
                std::abort();
            }
        }
    }
    (void)MqttPayload::press(payload);
    return 0;
}
