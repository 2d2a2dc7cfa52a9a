#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include <asio/any_io_executor.hpp>

namespace vel {

// A repeating timer: the handler runs first after `start`'s delay and then
// every interval, one call at a time, on the given executor, until cancelled.
// Leeway is the delay the caller tolerates; Asio's timers are precise, so it
// is kept for callers to read but never needs to be spent.
class TimerSource : public std::enable_shared_from_this<TimerSource> {
public:
    using Duration = std::chrono::nanoseconds;

    static std::shared_ptr<TimerSource> create(asio::any_io_executor executor, Duration interval,
                                               Duration leeway, std::function<void()> handler);
    ~TimerSource();
    TimerSource(const TimerSource&) = delete;
    TimerSource& operator=(const TimerSource&) = delete;

    void start(Duration firstDelay = Duration::zero());

    // Once cancel returns, no new call of the handler begins (one already
    // running on another thread finishes). Safe from within the handler.
    void cancel();

    bool isCancelled() const;
    Duration interval() const;
    Duration leeway() const;

private:
    struct State;
    explicit TimerSource(std::unique_ptr<State> state);
    void arm(Duration delay);
    std::unique_ptr<State> state_;
};

}  // namespace vel
