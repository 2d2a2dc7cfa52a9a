#include "clock/SyncGrid.h"

SyncGrid::Nanoseconds SyncGrid::pointAtOrBefore(Nanoseconds wall)
{
    // Floor division, so that times before the epoch (a test's clock, a
    // broken RTC) fall on the same grid.
    auto below = wall.count() / period.count() * period.count();
    if (below > wall.count()) {
        below -= period.count();
    }
    return Nanoseconds(below);
}

SyncGrid::Nanoseconds SyncGrid::firstPointAfter(Nanoseconds now, Nanoseconds early)
{
    Nanoseconds point = pointAtOrBefore(now + early);
    while (point - early <= now) {
        point += period;
    }
    return point;
}
