#include "clock/SystemClockWatch.h"

#include <sys/timex.h>

SystemClockWatch::SystemClockWatch(QObject* parent) : QObject(parent), reading_(read())
{
    timer_.setInterval(interval);
    connect(&timer_, &QTimer::timeout, this, &SystemClockWatch::update);
    timer_.start();
}

SystemClockWatch::Reading SystemClockWatch::read()
{
    timex state{};
    state.modes = 0;  // read only: any user may ask
    const int clockState = ::adjtimex(&state);
    Reading reading;
    reading.synchronised = clockState != -1 && clockState != TIME_ERROR && (state.status & STA_UNSYNC) == 0;
    reading.estimatedError = std::chrono::microseconds(state.esterror);
    return reading;
}

QString SystemClockWatch::describe(const Reading& reading)
{
    if (!reading.synchronised) {
        return tr("System clock not synchronised: the tubes show this computer's time, which may be off");
    }
    // Whole milliseconds, rounded up: the kernel's estimate is a bound.
    const auto milliseconds = std::max<long long>(1, (reading.estimatedError.count() + 999) / 1000);
    return tr("System clock synchronised (\u00b1%1 ms)").arg(milliseconds);
}

void SystemClockWatch::update()
{
    const Reading now = read();
    if (now == reading_) {
        return;
    }
    const bool flipped = now.synchronised != reading_.synchronised;
    const QString before = text();
    reading_ = now;
    if (text() != before) {
        emit textChanged(text());
    }
    if (flipped) {
        emit synchronisedChanged(now.synchronised);
    }
}
