#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include <asio/any_io_executor.hpp>
#include <asio/error_code.hpp>

namespace vel {

// A repeating timer: the handler runs first after `start`'s delay and then
// every interval, one call at a time, on the given executor, until cancelled.
// Periods are counted from the previous deadline, not from when the handler
// ran, so the timer does not drift; when it has fallen a whole period or more
// behind it skips the missed periods instead of firing them in a burst. A
// zero or negative interval makes it fire once. Deadlines are kept as
// precisely as the executor allows; there is no coalescing slack.
//
// A started timer keeps itself alive until it is cancelled; the handler is
// dropped on cancel, so it may hold its owner.
class TimerSource : public std::enable_shared_from_this<TimerSource> {
public:
    using Duration = std::chrono::nanoseconds;

    static std::shared_ptr<TimerSource> create(asio::any_io_executor executor, Duration interval,
                                               std::function<void()> handler);
    ~TimerSource();
    TimerSource(const TimerSource&) = delete;
    TimerSource& operator=(const TimerSource&) = delete;

    // Only the first call counts; a call after cancel does nothing.
    void start(Duration firstDelay = Duration::zero());

    // Once cancel returns, no new call of the handler begins (one already
    // running on another thread finishes; cancel does not wait for it).
    // Safe from within the handler.
    void cancel();

    bool isCancelled() const;
    Duration interval() const;

private:
    struct State;
    explicit TimerSource(std::unique_ptr<State> state);
    void arm();
    void fire(const asio::error_code& error);
    std::unique_ptr<State> state_;
};

}  // namespace vel
