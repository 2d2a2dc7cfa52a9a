#pragma once

#include <array>
#include <optional>
#include <string_view>

// The payloads of Halodial's MQTT command topics, read strictly: anything
// but the exact forms below is refused (empty), so a malformed message
// changes nothing. Plain C++ on bytes as they come from the broker (any
// length, any bytes); any thread; never throws.
namespace MqttPayload {

// "ON" or "OFF".
std::optional<bool> onOff(std::string_view payload);
// "R,G,B", each a decimal 0 to 255 without sign, blanks or leading zeros
// beyond one digit.
std::optional<std::array<int, 3>> rgb(std::string_view payload);
// A decimal 0 to 255, as for a component.
std::optional<int> brightness(std::string_view payload);
// "PRESS", what a button sends.
bool press(std::string_view payload);

}  // namespace MqttPayload
