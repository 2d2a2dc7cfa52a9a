#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

// Where the time sync's ticks fall: on the wall clock's grid of 200 ms
// (xx.000, xx.200, ...), so that the clock's seconds digit changes within a
// millisecond or two of the real second instead of anywhere in the first
// fifth of it. Pure arithmetic on the readings it is given; the controller
// owns the timer and the clocks. GUI thread, like the controller.
//
// A tick asks for the time to show (the nearest grid point, so that a tick a
// hair early still shows the new second), the delay to the next grid point,
// and whether the wall clock jumped since the last tick (an NTP step,
// suspend and resume, someone setting the time): the wall clock and the
// monotonic clock then disagree about how long the tick took.
class SyncGrid {
public:
    using Microseconds = std::chrono::microseconds;

    static constexpr Microseconds period{200'000};
    // The wall clock may run this far from the monotonic clock over one tick
    // without counting as a jump: an NTP slew is a few parts per million,
    // a busy event loop delays both readings alike.
    static constexpr Microseconds jumpTolerance{20'000};
    // A tick this far from its grid point (either way) puts the timer back
    // on the grid; within it the repeating timer keeps its phase.
    static constexpr Microseconds alignmentTolerance{3'000};

    // The grid point nearest to `wall` (microseconds since the epoch).
    static Microseconds nearestPoint(Microseconds wall);
    // How far `wall` lies from its nearest grid point: negative before it.
    static Microseconds offset(Microseconds wall);
    // The whole milliseconds to wait from `wall` so that a timer fires at,
    // never before, the next grid point (at least 1 ms).
    static std::chrono::milliseconds delayToNextPoint(Microseconds wall);

    // The instant whose time a tick at `wall` shows: the grid point when the
    // tick comes up to alignmentTolerance before it, else `wall` itself.
    static Microseconds instantToShow(Microseconds wall);

    // Records one tick's readings; true when the wall clock moved by more
    // than jumpTolerance apart from the monotonic clock since the last one.
    // The first tick after reset() never counts as a jump.
    bool observe(Microseconds wall, Microseconds monotonic);
    void reset() { last_.reset(); }

private:
    struct Reading {
        Microseconds wall;
        Microseconds monotonic;
    };
    std::optional<Reading> last_;
};
