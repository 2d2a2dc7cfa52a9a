#include "dispatch/AsioMainQueue.h"

#include <algorithm>
#include <asio/executor_work_guard.hpp>
#include <asio/post.hpp>
#include <asio/posix/stream_descriptor.hpp>
#include <exception>
#include <fcntl.h>
#include <unistd.h>
#include <mutex>

#include "support/Diagnostics.h"

namespace vel {

namespace {

// Shared between a watch and the waits it has queued, which may complete
// after the watch is gone. The descriptor is touched only on the main thread.
struct WatchState : std::enable_shared_from_this<WatchState> {
    WatchState(asio::io_context& context, int fd, bool writable, std::function<void()> onReady)
        : fd(fd), writable(writable), descriptor(context), onReady(std::move(onReady))
    {
    }

    ~WatchState() { stop(); }

    void arm()
    {
        descriptor.async_wait(writable ? asio::posix::stream_descriptor::wait_write
                                       : asio::posix::stream_descriptor::wait_read,
                              [self = shared_from_this()](const asio::error_code& error) {
                                  self->completed(error);
                              });
    }

    void stop()
    {
        // The watch's own duplicate (see watch()); the watched descriptor
        // itself belongs to whoever watches it.
        if (descriptor.is_open()) {
            asio::error_code ignored;
            descriptor.close(ignored);
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
            if (error) {
                // Such failures (a closed descriptor, a regular file) do not
                // heal; waiting again would only spin. One last call lets the
                // owner find out for itself.
                log("Stopped watching descriptor %d: %s", fd, error.message().c_str());
            } else {
                // Before the call: the reactor reports edges, and readiness
                // that comes while the handler runs must wake it again.
                arm();
            }
            calling = true;
            if (onReady) {
                onReady();
            }
            calling = false;
            if (!active) {
                dropped = std::move(onReady);  // The callback ended its own watch.
            }
        }
    }

    const int fd;
    const bool writable;
    asio::posix::stream_descriptor descriptor;
    // Held while the callback runs, so that ending the watch on another
    // thread waits for a call in progress; recursive so that the callback
    // may end its own watch.
    std::recursive_mutex callMutex;
    std::function<void()> onReady;     // Guarded by callMutex.
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
                dropped = std::move(state_->onReady);
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

bool AsioMainQueue::isMainThread() const
{
    return std::this_thread::get_id() == mainThread_;
}

std::unique_ptr<DescriptorWatch> AsioMainQueue::watchReadable(int fd, std::function<void()> onReadable)
{
    return watch(fd, false, std::move(onReadable));
}

std::unique_ptr<DescriptorWatch> AsioMainQueue::watchWritable(int fd, std::function<void()> onWritable)
{
    return watch(fd, true, std::move(onWritable));
}

std::unique_ptr<DescriptorWatch> AsioMainQueue::watch(int fd, bool writable, std::function<void()> onReady)
{
    auto state = std::make_shared<WatchState>(context_, fd, writable, std::move(onReady));
    // The reactor takes a descriptor number once: a duplicate lets a port
    // watch one device for reading and for writing at the same time.
    asio::error_code error;
    const int duplicate = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (duplicate < 0) {
        error = asio::error_code(errno, asio::error::get_system_category());
    } else {
        state->descriptor.assign(duplicate, error);
        if (error) {
            ::close(duplicate);
        }
    }
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
