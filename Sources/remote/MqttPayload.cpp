#include "remote/MqttPayload.h"

namespace MqttPayload {

std::optional<bool> onOff(std::string_view payload)
{
    if (payload == "ON") {
        return true;
    }
    if (payload == "OFF") {
        return false;
    }
    return std::nullopt;
}

std::optional<int> brightness(std::string_view payload)
{
    // One to three digits; "007" is refused, as Home Assistant never sends
    // it and a sender that does is confused about the format.
    if (payload.empty() || payload.size() > 3 || (payload.size() > 1 && payload.front() == '0')) {
        return std::nullopt;
    }
    int value = 0;
    for (const char c : payload) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
    }
    return value <= 255 ? std::optional<int>(value) : std::nullopt;
}

std::optional<std::array<int, 3>> rgb(std::string_view payload)
{
    std::array<int, 3> components {};
    for (std::size_t i = 0; i < components.size(); ++i) {
        const std::size_t comma = payload.find(',');
        const bool last = i + 1 == components.size();
        if (last != (comma == std::string_view::npos)) {
            return std::nullopt;
        }
        const auto component = brightness(payload.substr(0, comma));
        if (!component) {
            return std::nullopt;
        }
        components[i] = *component;
        payload = last ? std::string_view() : payload.substr(comma + 1);
    }
    return components;
}

bool press(std::string_view payload)
{
    return payload == "PRESS";
}

std::optional<std::size_t> oneOf(std::string_view payload, std::span<const std::string_view> options)
{
    for (std::size_t i = 0; i < options.size(); ++i) {
        if (payload == options[i]) {
            return i;
        }
    }
    return std::nullopt;
}

}  // namespace MqttPayload
