#include "dispatch/ReadSource.h"

#include <asio/post.hpp>
#include <asio/posix/stream_descriptor.hpp>
#include <asio/strand.hpp>
#include <atomic>
#include <fcntl.h>
#include <poll.h>
#include <utility>

#include "support/Diagnostics.h"

namespace vel {

namespace {

// Readable, hung up or failed: a read would not block.
bool readableNow(int fd)
{
    pollfd ready{fd, POLLIN, 0};
    return ::poll(&ready, 1, 0) > 0;
}

}  // namespace

// Everything but `cancelled` is touched only on `strand`: that is what keeps
// the event handler from running twice at once and orders the cancel handler
// after the last event.
struct ReadSource::State {
    State(int fd, asio::any_io_executor executor, std::function<void()> onReadable,
          std::function<void()> onCancel)
        : fd(fd),
          strand(asio::make_strand(std::move(executor))),
          descriptor(strand),
          onReadable(std::move(onReadable)),
          onCancel(std::move(onCancel))
    {
    }

    ~State()
    {
        // The descriptor belongs to the caller: never let asio close it.
        if (descriptor.is_open()) {
            descriptor.release();
        }
    }

    const int fd;
    asio::strand<asio::any_io_executor> strand;
    asio::posix::stream_descriptor descriptor;
    asio::error_code assignError;
    std::function<void()> onReadable;
    std::function<void()> onCancel;
    std::atomic<bool> cancelled{false};
    // The descriptor's status flags as its owner set them (see arm()).
    int ownerFlags = -1;
    // Set when arm() cancelled a fresh wait because data was already there.
    bool kicked = false;
    bool resumed = false;
    bool waiting = false;
    bool finished = false;
};

std::shared_ptr<ReadSource> ReadSource::create(int fd, asio::any_io_executor executor,
                                               std::function<void()> onReadable,
                                               std::function<void()> onCancel)
{
    auto state = std::make_unique<State>(fd, std::move(executor), std::move(onReadable), std::move(onCancel));
    // A descriptor the reactor refuses is reported through the event handler
    // on resume, like any later failure, rather than thrown here.
    state->ownerFlags = ::fcntl(fd, F_GETFL);
    state->descriptor.assign(fd, state->assignError);
    return std::shared_ptr<ReadSource>(new ReadSource(std::move(state)));
}

ReadSource::ReadSource(std::unique_ptr<State> state) : state_(std::move(state)) {}

ReadSource::~ReadSource() = default;

void ReadSource::resume()
{
    asio::post(state_->strand, [self = shared_from_this()] {
        State& s = *self->state_;
        // A cancel() that raced ahead has its own task queued behind this
        // one; leave finishing to it.
        if (s.resumed || s.cancelled.load()) {
            return;
        }
        s.resumed = true;
        if (s.assignError) {
            self->waitCompleted(s.assignError);
        } else {
            self->arm();
        }
    });
}

void ReadSource::cancel()
{
    if (state_->cancelled.exchange(true)) {
        return;
    }
    asio::post(state_->strand, [self = shared_from_this()] {
        State& s = *self->state_;
        if (s.finished) {
            return;  // An event handler saw the flag on its way out.
        }
        if (s.waiting) {
            // The wait completes (aborted, or already done) and finishes.
            asio::error_code ignored;
            s.descriptor.cancel(ignored);
        } else {
            self->finish();
        }
    });
}

bool ReadSource::isCancelled() const
{
    return state_->cancelled.load();
}

void ReadSource::arm()
{
    State& s = *state_;
    s.waiting = true;
    s.kicked = false;
    s.descriptor.async_wait(asio::posix::stream_descriptor::wait_read,
                            [self = shared_from_this()](const asio::error_code& error) {
                                self->waitCompleted(error);
                            });
    // Asio switches the descriptor to non-blocking mode for its first wait.
    // The flag belongs to the open file, which the owner shares and may use
    // in blocking mode, so put it back; Asio remembers that it set it and
    // does not set it again. (A port keeps its descriptor non-blocking for
    // good, so for it nothing changes.)
    if (s.ownerFlags >= 0 && ::fcntl(s.fd, F_GETFL) != s.ownerFlags) {
        ::fcntl(s.fd, F_SETFL, s.ownerFlags);
    }
    // The reactor watches edges: input that was already waiting when the
    // wait was armed (the handler read only part of it) would not wake it.
    // Level-triggered behaviour is what readers expect, so look once more.
    if (readableNow(s.fd)) {
        s.kicked = true;
        asio::error_code ignored;
        s.descriptor.cancel(ignored);
    }
}

void ReadSource::waitCompleted(const asio::error_code& error)
{
    State& s = *state_;
    s.waiting = false;
    if (s.cancelled.load()) {
        finish();
        return;
    }
    const bool kicked = std::exchange(s.kicked, false);
    if (error == asio::error::operation_aborted && !kicked) {
        return;  // Only cancel() and arm() abort the wait, and cancel() was handled above.
    }
    // An edge the reactor kept from before may be stale: the input it
    // announced can have been read already. An owner may read in blocking
    // mode, so only call it when something is there now.
    if (!error && !readableNow(s.fd)) {
        arm();
        return;
    }
    if (s.onReadable) {
        s.onReadable();
    }
    if (s.cancelled.load()) {
        finish();
        return;
    }
    if (error && error != asio::error::operation_aborted) {
        log("Stopped watching descriptor %d: %s", s.fd, error.message().c_str());
        return;
    }
    arm();
}

void ReadSource::finish()
{
    State& s = *state_;
    s.finished = true;
    if (s.descriptor.is_open()) {
        s.descriptor.release();
    }
    // Moved out so that whatever the handlers hold (usually their owner) is
    // let go here, after the cancel handler, even though this source may
    // live on.
    std::function<void()> onCancel = std::move(s.onCancel);
    std::function<void()> onReadable = std::move(s.onReadable);
    s.onCancel = nullptr;
    s.onReadable = nullptr;
    if (onCancel) {
        onCancel();
    }
}

}  // namespace vel
