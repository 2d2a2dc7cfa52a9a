#include "clock/FrameSender.h"

#include <cerrno>
#include <cstdint>
#include <ctime>
#include <iostream>
#include <span>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/prctl.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include "VELSerialPort.h"
#include "clock/SyncGrid.h"

namespace {

timespec timespecOf(std::chrono::nanoseconds instant)
{
    constexpr std::int64_t kBillion = 1'000'000'000;
    std::int64_t seconds = instant.count() / kBillion;
    std::int64_t nanoseconds = instant.count() % kBillion;
    if (nanoseconds < 0) {
        nanoseconds += kBillion;
        --seconds;
    }
    return {static_cast<time_t>(seconds), static_cast<long>(nanoseconds)};
}

}  // namespace

FrameSender::FrameSender(std::function<void(const Report&)> reported, std::function<void()> clockStepped)
    : reported_(std::move(reported)),
      clockStepped_(std::move(clockStepped)),
      timer_(::timerfd_create(CLOCK_REALTIME, TFD_CLOEXEC | TFD_NONBLOCK)),
      wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    if (!timer_ || !wake_) {
        std::cerr << "halodial: the time sync cannot wait for its instants (" << errno
                  << "); no time frames are sent" << std::endl;
        return;
    }
    // The one thread the sync adds: a write at a wall-clock instant cannot
    // wait for the window's thread, which may be busy for milliseconds.
    thread_ = std::thread([this] { run(); });
}

FrameSender::~FrameSender()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    if (thread_.joinable()) {
        wake();
        thread_.join();
    }
}

FrameSender::Nanoseconds FrameSender::now()
{
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    return std::chrono::seconds(ts.tv_sec) + Nanoseconds(ts.tv_nsec);
}

void FrameSender::schedule(Frame frame)
{
    {
        std::lock_guard lock(mutex_);
        waiting_ = std::move(frame);
    }
    wake();
}

void FrameSender::cancel()
{
    {
        std::lock_guard lock(mutex_);
        waiting_.reset();
    }
    wake();
}

void FrameSender::wake()
{
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(wake_.get(), &one, sizeof one);
}

void FrameSender::arm()
{
    itimerspec spec{};
    if (waiting_) {
        spec.it_value = timespecOf(waiting_->sendAt);
        // 0 would disarm the timer: an instant at the epoch is long past.
        if (spec.it_value.tv_sec <= 0 && spec.it_value.tv_nsec == 0) {
            spec.it_value.tv_nsec = 1;
        }
    }
    ::timerfd_settime(timer_.get(), TFD_TIMER_ABSTIME | TFD_TIMER_CANCEL_ON_SET, &spec, nullptr);
}

void FrameSender::run()
{
    // The default slack of 50 µs would be most of the precision we keep.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    for (;;) {
        pollfd fds[2] = {{timer_.get(), POLLIN, 0}, {wake_.get(), POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            std::cerr << "halodial: the time sync stopped waiting (" << errno << ")" << std::endl;
            return;
        }
        if ((fds[1].revents & POLLIN) != 0) {
            std::uint64_t count = 0;
            [[maybe_unused]] const ssize_t ignored = ::read(wake_.get(), &count, sizeof count);
            std::lock_guard lock(mutex_);
            if (stopping_) {
                return;
            }
            arm();
        }
        if ((fds[0].revents & POLLIN) == 0) {
            continue;
        }
        std::uint64_t expirations = 0;
        if (::read(timer_.get(), &expirations, sizeof expirations) < 0) {
            if (errno == ECANCELED) {
                // The system clock was set: the waiting frame's instant
                // belongs to the old time. The owner plans anew.
                {
                    std::lock_guard lock(mutex_);
                    waiting_.reset();
                    arm();
                }
                clockStepped_();
            }
            continue;
        }
        sendDue();
    }
}

void FrameSender::sendDue()
{
    std::optional<Frame> frame;
    const Nanoseconds woke = now();
    {
        std::lock_guard lock(mutex_);
        // The timer may have fired for a frame that was replaced since by
        // a later one: that one waits for its own instant.
        if (!waiting_ || waiting_->sendAt > woke) {
            arm();
            return;
        }
        frame = std::move(waiting_);
        waiting_.reset();
    }
    Report report{frame->point, Outcome::NoPort, woke - frame->sendAt, {}, frame->port};
    if (report.lateness > SyncGrid::lateLimit) {
        report.outcome = Outcome::Late;
    } else if (frame->port && frame->port->isOpen()) {
        const std::span<const std::uint8_t> data(reinterpret_cast<const std::uint8_t*>(frame->bytes.constData()),
                                                 static_cast<std::size_t>(frame->bytes.size()));
        report.lateness = now() - frame->sendAt;
        if (frame->port->sendDataIfIdle(data)) {
            report.outcome = Outcome::Sent;
            report.bytes = std::move(frame->bytes);
        } else {
            report.outcome = Outcome::Busy;
        }
    }
    frame->port.reset();
    reported_(report);
}
