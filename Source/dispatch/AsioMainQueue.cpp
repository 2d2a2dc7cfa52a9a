#include "dispatch/AsioMainQueue.h"

#include <algorithm>
#include <asio/executor_work_guard.hpp>
#include <asio/post.hpp>
#include <asio/posix/stream_descriptor.hpp>
#include <exception>
#include <future>
#include <mutex>

#include "support/Diagnostics.h"

namespace vel {

namespace {

// Shared between a watch and the waits it has queued, which may complete
// after the watch is gone. The descriptor is touched only on the main thread.
struct WatchState : std::enable_shared_from_this<WatchState> {
    WatchState(asio::io_context& context, int fd, std::function<void()> onReadable)
        : fd(fd), descriptor(context), onReadable(std::move(onReadable))
    {
    }

    ~WatchState() { stop(); }

    void arm()
    {
        descriptor.async_wait(asio::posix::stream_descriptor::wait_read,
                              [self = shared_from_this()](const asio::error_code& error) {
                                  self->completed(error);
                              });
    }

    void stop()
    {
        // Released, never closed: the descriptor belongs to whoever watches it.
        if (descriptor.is_open()) {
            descriptor.release();
        }
    }

    void completed(const asio::error_code& error)
    {
        if (error == asio::error::operation_aborted) {
            return;  // stop() aborted it.
        }
        std::function<void()> dropped;
        {
            std::lock_guard call(callMutex);
            if (!active) {
                return;
            }
            calling = true;
            if (onReadable) {
                onReadable();
            }
            calling = false;
            if (!active) {
                dropped = std::move(onReadable);  // The callback ended its own watch.
                return;
            }
        }
        if (error) {
            // Such failures (a closed descriptor, a regular file) do not heal;
            // waiting again would only spin.
            log("Stopped watching descriptor %d: %s", fd, error.message().c_str());
            return;
        }
        arm();
    }

    const int fd;
    asio::posix::stream_descriptor descriptor;
    // Held while the callback runs, so that ending the watch on another
    // thread waits for a call in progress; recursive so that the callback
    // may end its own watch.
    std::recursive_mutex callMutex;
    std::function<void()> onReadable;  // Guarded by callMutex.
    bool active = true;                // Guarded by callMutex.
    bool calling = false;              // Guarded by callMutex.
};

class Watch : public DescriptorWatch {
public:
    Watch(AsioMainQueue& queue, std::shared_ptr<WatchState> state) : queue_(queue), state_(std::move(state)) {}

    ~Watch() override
    {
        std::function<void()> dropped;
        {
            std::lock_guard call(state_->callMutex);
            state_->active = false;
            if (!state_->calling) {
                dropped = std::move(state_->onReadable);
            }
        }
        if (queue_.isMainThread()) {
            state_->stop();
        } else {
            asio::post(queue_.context(), [state = state_] { state->stop(); });
        }
    }

    Watch(const Watch&) = delete;
    Watch& operator=(const Watch&) = delete;

private:
    AsioMainQueue& queue_;
    std::shared_ptr<WatchState> state_;
};

}  // namespace

AsioMainQueue::AsioMainQueue() : mainThread_(std::this_thread::get_id()) {}

void AsioMainQueue::post(std::function<void()> task)
{
    asio::post(context_, std::move(task));
}

void AsioMainQueue::postAndWait(std::function<void()> task)
{
    if (isMainThread()) {
        task();
        return;
    }
    std::promise<void> done;
    std::future<void> finished = done.get_future();
    asio::post(context_, [task = std::move(task), done = std::move(done)]() mutable {
        try {
            task();
            done.set_value();
        } catch (...) {
            done.set_exception(std::current_exception());
        }
    });
    try {
        finished.get();
    } catch (const std::future_error&) {
        // The queue was destroyed with the task still in it (its owner
        // stopped running it): the task will never run, and the caller has
        // nothing left to wait for.
    }
}

bool AsioMainQueue::isMainThread() const
{
    return std::this_thread::get_id() == mainThread_;
}

std::unique_ptr<DescriptorWatch> AsioMainQueue::watchReadable(int fd, std::function<void()> onReadable)
{
    auto state = std::make_shared<WatchState>(context_, fd, std::move(onReadable));
    asio::error_code error;
    state->descriptor.assign(fd, error);
    // Started on the main thread, which owns the descriptor from here on. A
    // descriptor the reactor refuses gets one call, like a failed wait.
    asio::post(context_, [state, error] {
        if (error) {
            state->completed(error);
        } else if (state->descriptor.is_open()) {
            state->arm();
        }
    });
    return std::make_unique<Watch>(*this, std::move(state));
}

void AsioMainQueue::run()
{
    auto work = asio::make_work_guard(context_);
    if (context_.stopped()) {
        context_.restart();
    }
    context_.run();
}

bool AsioMainQueue::runUntil(const std::function<bool()>& done, std::chrono::milliseconds deadline)
{
    // Without outstanding work the context would return at once instead of
    // waiting for the next handler.
    auto work = asio::make_work_guard(context_);
    if (context_.stopped()) {
        context_.restart();
    }
    // Bounded slices, so a predicate that other threads make true is seen
    // without waiting for a handler.
    constexpr auto slice = std::chrono::milliseconds(5);
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!done()) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= end || context_.stopped()) {
            return done();
        }
        context_.run_one_until(std::min(end, now + slice));
    }
    return true;
}

void AsioMainQueue::stop()
{
    context_.stop();
}

}  // namespace vel
