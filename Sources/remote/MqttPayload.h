#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <span>
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

// The effects of the all-tubes light, in the order of
// DisplaySettings::Effect.
inline constexpr std::array<std::string_view, 5> effects {"static", "rainbow", "hue-wave", "breathing", "pulse"};
// The display mode's select: 24 hours, 12 hours, 12 hours with a dark first
// tube before ten o'clock.
inline constexpr std::array<std::string_view, 3> modes {"24 hours", "12 hours", "12 hours, no leading zero"};
// The index of the option the payload is, exactly.
std::optional<std::size_t> oneOf(std::string_view payload, std::span<const std::string_view> options);

}  // namespace MqttPayload
