#pragma once

#include <chrono>

// Where the time sync's frames land: on the wall clock's grid of 200 ms
// (xx.000, xx.200, ...), so that the clock's seconds digit changes on the
// real second rather than anywhere in the first fifth of it. A frame for a
// grid point leaves early by its own time on the wire (and any extra lead),
// so that its last byte reaches the clock on the point. Pure arithmetic on
// instants since the epoch; any thread.
class SyncGrid {
public:
    using Nanoseconds = std::chrono::nanoseconds;

    // The sync's period: five frames a second. The one definition.
    static constexpr Nanoseconds period{std::chrono::milliseconds(200)};
    // A frame that cannot leave within this of its send instant (the line
    // was busy, the computer was) is dropped: a late time is worse than none.
    static constexpr Nanoseconds lateLimit{std::chrono::milliseconds(20)};

    // The grid point at or before `wall`; before the epoch on the same grid.
    static Nanoseconds pointAtOrBefore(Nanoseconds wall);
    // The first grid point whose frame, sent `early` ahead of it, can still
    // leave after `now`.
    static Nanoseconds firstPointAfter(Nanoseconds now, Nanoseconds early);
};
