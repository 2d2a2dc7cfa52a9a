#pragma once

// The names of Halodial's remote control on the session bus, shared by the
// program that serves it and by halodialctl. What each property and method
// does is in data/dbus/org.halodial.Halodial1.xml.
namespace RemoteInterface {

inline constexpr const char* service = "org.halodial.Halodial";
inline constexpr const char* path = "/org/halodial/Halodial";
inline constexpr const char* interface = "org.halodial.Halodial1";
// Bad arguments; the message says what is wrong.
inline constexpr const char* invalidArgumentError = "org.halodial.Halodial1.Error.InvalidArgument";
// A call this instance cannot carry out (Activate on the headless service).
inline constexpr const char* refusedError = "org.halodial.Halodial1.Error.Refused";

// The display settings' properties, each beside the key its text form has
// on the command line and in the settings file (DisplayText): the property
// takes and gives the same text, and halodialctl's `display KEY` names it.
struct DisplayProperty {
    const char* key;
    const char* property;
};
inline constexpr DisplayProperty displayProperties[] = {
    {"hours", "Hours"},
    {"date-every", "DateEvery"},
    {"date-order", "DateOrder"},
    {"date-color", "DateColour"},
    {"night", "Night"},
    {"night-action", "NightAction"},
    {"night-fade", "NightFade"},
    {"theme", "Theme"},
    {"effect", "Effect"},
    {"brightness", "Brightness"},
    {"anti-poisoning", "AntiPoisoning"},
};

}  // namespace RemoteInterface
