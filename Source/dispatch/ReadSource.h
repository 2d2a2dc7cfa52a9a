#pragma once

#include <functional>
#include <memory>

#include <asio/any_io_executor.hpp>
#include <asio/error_code.hpp>

namespace vel {

// Calls an event handler each time a descriptor becomes readable, one call at
// a time, until cancelled; then calls the cancel handler exactly once, after
// the last event handler has returned. The descriptor is not owned: the
// cancel handler is where its owner may close it. Both handlers are dropped
// once the cancel handler has run, so they may hold their owner.
//
// A resumed source keeps itself alive until it is cancelled. When waiting on
// the descriptor fails (a descriptor closed behind the source's back, or one
// the reactor cannot watch, such as a regular file), the event handler is
// called once more so that its read reports the failure, and then the source
// stops waiting: such failures do not heal, and waiting again would only spin.
// The cancel handler still follows cancel() as usual.
class ReadSource : public std::enable_shared_from_this<ReadSource> {
public:
    static std::shared_ptr<ReadSource> create(int fd, asio::any_io_executor executor,
                                              std::function<void()> onReadable,
                                              std::function<void()> onCancel);
    ~ReadSource();
    ReadSource(const ReadSource&) = delete;
    ReadSource& operator=(const ReadSource&) = delete;

    // Starts watching. Without resume no event is delivered. Further calls
    // do nothing.
    void resume();

    // Stops delivering events. Returns at once; the cancel handler follows
    // on the source's executor. Further calls do nothing.
    void cancel();

    bool isCancelled() const;

private:
    struct State;
    explicit ReadSource(std::unique_ptr<State> state);
    void arm();
    void waitCompleted(const asio::error_code& error);
    void finish();
    std::unique_ptr<State> state_;
};

}  // namespace vel
