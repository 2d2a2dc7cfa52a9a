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

}  // namespace RemoteInterface
