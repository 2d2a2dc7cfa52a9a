#pragma once

#include <QString>

// What the command line asks of a Halodial run.
struct ApplicationOptions {
    // Start the built-in virtual clock and show its window.
    bool simulate = false;
    // The port to choose at start (any terminal device path); empty: the
    // virtual clock's when simulating, else none.
    QString portPath;
    // Open the chosen port, as the Open button does.
    bool open = false;
    // Start the time sync, as the Sync button does.
    bool sync = false;
    // No one sees the window (-platform offscreen): problems go to standard
    // error, and a port that fails to open or goes away ends the run with
    // status 1.
    bool headless = false;
    // Save both windows as PNG files there, a moment after start, and quit.
    QString screenshotDirectory;
};
