#include "SyncGrid.h"

#include <algorithm>

SyncGrid::Microseconds SyncGrid::nearestPoint(Microseconds wall)
{
    // Floor division, so that times before the epoch (a test's clock, a
    // broken RTC) fall on the same grid.
    auto below = wall.count() / period.count() * period.count();
    if (below > wall.count()) {
        below -= period.count();
    }
    const auto above = below + period.count();
    return Microseconds(wall.count() - below < above - wall.count() ? below : above);
}

SyncGrid::Microseconds SyncGrid::offset(Microseconds wall)
{
    return wall - nearestPoint(wall);
}

std::chrono::milliseconds SyncGrid::timerDelay(Microseconds now, Microseconds after)
{
    Microseconds next = nearestPoint(after);
    if (next <= after) {
        next += period;
    }
    const auto wait = (next - wakeLead - now).count();
    return std::chrono::milliseconds(std::max<std::int64_t>(0, wait / 1000));
}

SyncGrid::Microseconds SyncGrid::timeToPoint(Microseconds wall)
{
    const Microseconds off = offset(wall);
    return off < Microseconds(0) && off >= -alignmentTolerance ? -off : Microseconds(0);
}

SyncGrid::Microseconds SyncGrid::instantToShow(Microseconds wall)
{
    const Microseconds off = offset(wall);
    return off < Microseconds(0) && off >= -alignmentTolerance ? nearestPoint(wall) : wall;
}

bool SyncGrid::observe(Microseconds wall, Microseconds monotonic)
{
    const std::optional<Reading> previous = last_;
    last_ = Reading{wall, monotonic};
    if (!previous) {
        return false;
    }
    const auto drift = (wall - previous->wall) - (monotonic - previous->monotonic);
    return drift > jumpTolerance || drift < -jumpTolerance;
}
