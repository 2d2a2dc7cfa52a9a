#include "dispatch/TimerSource.h"

#include <asio/post.hpp>
#include <asio/steady_timer.hpp>
#include <asio/strand.hpp>
#include <atomic>

#include "support/Diagnostics.h"

namespace vel {

// Everything but `cancelled` is touched only on `strand`, which is what runs
// the handler one call at a time.
struct TimerSource::State {
    State(asio::any_io_executor executor, Duration interval, std::function<void()> handler)
        : strand(asio::make_strand(std::move(executor))),
          timer(strand),
          interval(interval),
          handler(std::move(handler))
    {
    }

    asio::strand<asio::any_io_executor> strand;
    asio::steady_timer timer;
    const Duration interval;
    std::function<void()> handler;
    std::atomic<bool> cancelled{false};
    bool started = false;
    std::chrono::steady_clock::time_point deadline;
};

std::shared_ptr<TimerSource> TimerSource::create(asio::any_io_executor executor, Duration interval,
                                                 std::function<void()> handler)
{
    auto state = std::make_unique<State>(std::move(executor), interval, std::move(handler));
    return std::shared_ptr<TimerSource>(new TimerSource(std::move(state)));
}

TimerSource::TimerSource(std::unique_ptr<State> state) : state_(std::move(state)) {}

TimerSource::~TimerSource() = default;

void TimerSource::start(Duration firstDelay)
{
    // Taken now rather than on the strand, so a busy executor does not push
    // the whole schedule back.
    const auto first = std::chrono::steady_clock::now() + firstDelay;
    asio::post(state_->strand, [self = shared_from_this(), first] {
        State& s = *self->state_;
        if (s.started || s.cancelled.load()) {
            return;
        }
        s.started = true;
        s.deadline = first;
        self->arm();
    });
}

void TimerSource::cancel()
{
    if (state_->cancelled.exchange(true)) {
        return;
    }
    asio::post(state_->strand, [self = shared_from_this()] {
        State& s = *self->state_;
        s.timer.cancel();
        // Let go of what the handler holds (usually its owner) only after
        // this source is done with it.
        std::function<void()> dropped = std::move(s.handler);
        s.handler = nullptr;
    });
}

bool TimerSource::isCancelled() const
{
    return state_->cancelled.load();
}

TimerSource::Duration TimerSource::interval() const
{
    return state_->interval;
}

void TimerSource::arm()
{
    state_->timer.expires_at(state_->deadline);
    state_->timer.async_wait([self = shared_from_this()](const asio::error_code& error) { self->fire(error); });
}

void TimerSource::fire(const asio::error_code& error)
{
    State& s = *state_;
    // Checked here, on the strand and right before the call, so that a
    // cancel() that has returned stops every call not yet begun.
    if (s.cancelled.load() || error == asio::error::operation_aborted) {
        return;
    }
    if (error) {
        log("Timer stopped: %s", error.message().c_str());
        return;
    }
    if (s.handler) {
        s.handler();
    }
    if (s.cancelled.load() || s.interval <= Duration::zero()) {
        return;
    }
    s.deadline += s.interval;
    const auto now = std::chrono::steady_clock::now();
    if (s.deadline < now) {
        // Keep to the grid, but fire at most once for all the periods
        // missed: the next call comes at once, the one after on time.
        const auto missed = std::chrono::duration_cast<Duration>(now - s.deadline) / s.interval;
        s.deadline += missed * s.interval;
    }
    arm();
}

}  // namespace vel
