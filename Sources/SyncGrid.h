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
// A tick asks how long to wait for its grid point (the timer fires a little
// before it), the time to show (the nearest grid point, so that a tick a hair
// early still shows the new second), the delay to set the timer to, and
// whether the wall clock jumped since the last tick (an NTP step,
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
    // A tick up to this far before its grid point waits for the point.
    static constexpr Microseconds alignmentTolerance{5'000};
    // How far before the grid point the timer is set to fire. Qt's timers
    // wake to the millisecond and a little late; the rest of the way is
    // slept precisely, so that the frame leaves within a fraction of a
    // millisecond after the point.
    static constexpr Microseconds wakeLead{3'000};

    // The grid point nearest to `wall` (microseconds since the epoch).
    static Microseconds nearestPoint(Microseconds wall);
    // How far `wall` lies from its nearest grid point: negative before it.
    static Microseconds offset(Microseconds wall);
    // The whole milliseconds (possibly 0) a timer started at `now` is to
    // wait to fire about wakeLead before the first grid point after `after`
    // (after `now` when not given).
    static std::chrono::milliseconds timerDelay(Microseconds now, Microseconds after);
    static std::chrono::milliseconds timerDelay(Microseconds now) { return timerDelay(now, now); }
    // How long a tick at `wall` sleeps before it sends: up to the grid point
    // when that is at most alignmentTolerance ahead, else 0.
    static Microseconds timeToPoint(Microseconds wall);
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
