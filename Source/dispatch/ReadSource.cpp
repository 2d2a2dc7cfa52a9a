#include "dispatch/ReadSource.h"

#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <thread>
#include <utility>

#include "support/Diagnostics.h"

namespace vel {

std::shared_ptr<ReadSource> ReadSource::create(int fd, std::function<void()> onReadable,
                                               std::function<void()> onCancel)
{
    struct stat status{};
    const bool watchable = ::fstat(fd, &status) == 0 && !S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode);
    UniqueFd wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!wake) {
        log("ReadSource: no eventfd (%d); cancel waits for the next event.", errno);
    }
    return std::shared_ptr<ReadSource>(
        new ReadSource(fd, std::move(wake), watchable, std::move(onReadable), std::move(onCancel)));
}

ReadSource::ReadSource(int fd, UniqueFd wake, bool watchable, std::function<void()> onReadable,
                       std::function<void()> onCancel)
    : fd_(fd),
      wake_(std::move(wake)),
      watchable_(watchable),
      onReadable_(std::move(onReadable)),
      onCancel_(std::move(onCancel))
{
}

ReadSource::~ReadSource() = default;

void ReadSource::startThread()
{
    {
        std::lock_guard lock(startMutex_);
        if (std::exchange(started_, true)) {
            return;
        }
    }
    // Detached: the cancel handler usually closes the port, which may wait
    // for the main thread, and nobody should have to join that. The thread
    // holds the source until it has run the cancel handler.
    std::thread([self = shared_from_this()] { self->run(); }).detach();
}

void ReadSource::resume()
{
    if (!cancelled_.load()) {
        startThread();
    }
}

void ReadSource::cancel()
{
    if (cancelled_.exchange(true)) {
        return;
    }
    if (wake_) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(wake_.get(), &one, sizeof one);
    }
    // A source never resumed still owes its cancel handler.
    startThread();
}

bool ReadSource::isCancelled() const
{
    return cancelled_.load();
}

void ReadSource::run()
{
    while (!cancelled_.load()) {
        pollfd fds[2] = {{fd_, POLLIN, 0}, {wake_.get(), POLLIN, 0}};
        const bool canWait = watchable_;
        if (canWait && ::poll(fds, wake_ ? 2 : 1, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            log("Stopped watching descriptor %d: poll failed (%d)", fd_, errno);
            waitForCancel();
            break;
        }
        if (cancelled_.load()) {
            break;
        }
        const bool failed = !canWait || (fds[0].revents & POLLNVAL) != 0;
        if (failed || (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            onReadable_();
        }
        if (failed && !cancelled_.load()) {
            log("Stopped watching descriptor %d: it cannot be waited on", fd_);
            waitForCancel();
        }
    }
    // Moved out so that whatever the handlers hold (usually their owner) is
    // let go here, after the cancel handler.
    std::function<void()> onCancel = std::move(onCancel_);
    std::function<void()> onReadable = std::move(onReadable_);
    onCancel_ = nullptr;
    onReadable_ = nullptr;
    if (onCancel) {
        onCancel();
    }
}

void ReadSource::waitForCancel()
{
    while (!cancelled_.load()) {
        pollfd wake{wake_.get(), POLLIN, 0};
        ::poll(&wake, wake_ ? 1 : 0, wake_ ? -1 : 10);
    }
}

}  // namespace vel
