#pragma once

#include <QIcon>

// Halodial's name on the desktop. One reverse-DNS id names the desktop entry
// (org.halodial.Halodial.desktop), the metainfo, the icon and the
// notifications' desktop-entry hint, so that a menu, a software centre, a
// Wayland compositor and a notification server all find the same program.
//
// GUI thread only; nothing here blocks or fails.
class DesktopIdentity {
public:
    static constexpr const char* applicationId = "org.halodial.Halodial";

    // The application's icon: the icon theme's org.halodial.Halodial where one
    // is installed (so that a theme may restyle it), else the 48, 128 and
    // 256 px renderings built into the program.
    static QIcon icon();

    // Names the desktop entry that the application's windows belong to, and
    // gives every window the icon. Call once, after the QGuiApplication
    // exists and before the first window is shown.
    static void applyToApplication();
};
