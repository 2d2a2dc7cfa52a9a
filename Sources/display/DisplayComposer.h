#pragma once

#include <QColor>
#include <QDateTime>
#include <QString>
#include <array>

#include "display/DisplaySettings.h"
#include "display/DisplayState.h"

// Decides what the six tubes show at an instant: six characters and six
// colours, from the instant (milliseconds since the epoch, for the effects,
// the countdown and given digits) and the local date and time it stands for
// (in whatever zone the caller's wall clock is), the display
// settings, what was asked for a while (DisplayState) and the user's own
// colours. A pure function: no clock is read, nothing is kept, so that a
// frame for a coming point can be composed ahead and a test can name any
// instant.
//
// Order: the digits (custom, countdown, cathode cycle, date, time, first
// that applies), the colours of the theme moved by the effect, the date's
// colour, the countdown's flash, the night, and the per-tube brightness
// last. Colours that no step changes are handed on untouched, so that the
// defaults give the plain clock's frames to the bit.
//
// Any thread; never blocks, never fails.
class DisplayComposer {
public:
    struct Shown {
        QString digits;  // six characters
        std::array<QColor, DisplaySettings::tubeCount> colours;
        // Whether the tubes change between the points of the grid (an
        // effect, the cathode cycle): frames between them are worth sending.
        bool moving = false;
    };

    // `local` is the instant's local date and time; handed in, as turning an
    // instant into local time (and back) is the time zone's cost.
    static Shown compose(qint64 instant, const QDateTime& local, const DisplaySettings& settings,
                         const DisplayState& state,
                         const std::array<QColor, DisplaySettings::tubeCount>& own,
                         DisplaySettings::DateOrder localeOrder = DisplaySettings::DateOrder::DayMonthYear);

    // How far night has come at this time of day (milliseconds since
    // midnight): 0 day, 1 full night, in between while fading.
    static double nightLevel(const DisplaySettings& settings, int millisecondsOfDay);
    // Whether the cathode cycle runs at this time of day, and for how long
    // it has been running.
    static bool cyclesAt(const DisplaySettings& settings, int millisecondsOfDay, int* elapsed = nullptr);

    static QString timeDigits(const QTime& time, const DisplaySettings& settings);
    static QString dateDigits(const QDate& date, DisplaySettings::DateOrder order);
    static QString countdownDigits(qint64 millisecondsLeft);
};
