#include "port/OutgoingQueue.h"

#include <cerrno>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include "support/Diagnostics.h"

namespace vel {

OutgoingQueue::OutgoingQueue(int fd, std::size_t bound, std::function<void(int error)> onWriteError)
    : fd_(fd), bound_(bound), onWriteError_(std::move(onWriteError)), wakeFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    if (!wakeFd_) {
        // Without its wake-up the writer could sleep through queued bytes;
        // sends then stay direct and a busy device refuses them (Failed).
        log("The outgoing queue of descriptor %d has no wake-up: %i", fd, errno);
        return;
    }
    writer_ = std::thread([this] { run(); });
}

OutgoingQueue::~OutgoingQueue()
{
    stop();
}

OutgoingQueue::Result OutgoingQueue::send(std::span<const std::uint8_t> data)
{
    std::lock_guard lock(mutex_);
    if (stopping_) {
        return {Outcome::Stopped};
    }
    const std::size_t waiting = queue_.size() - head_;
    if (data.size() > bound_ - waiting) {
        const bool first = !refusing_;
        refusing_ = true;
        return {Outcome::Refused, ENOBUFS, first};
    }
    refusing_ = false;
    return writeOrQueue(data, waiting);
}

OutgoingQueue::Result OutgoingQueue::sendIfIdle(std::span<const std::uint8_t> data)
{
    std::lock_guard lock(mutex_);
    if (stopping_) {
        return {Outcome::Stopped};
    }
    if (queue_.size() != head_) {
        return {Outcome::Busy};
    }
    // Bytes the driver still holds (output stopped by flow control, a device
    // that does not read) would leave ahead of these. A descriptor that
    // cannot tell (not a terminal) counts as idle.
    int held = 0;
    if (::ioctl(fd_, TIOCOUTQ, &held) == 0 && held > 0) {
        if (lastWriteWasIdleSend_) {
            // Only our own earlier bytes are held: stale by now.
            ::tcflush(fd_, TCOFLUSH);
            lastWriteWasIdleSend_ = false;
        }
        return {Outcome::Busy};
    }
    if (data.size() > bound_) {
        return {Outcome::Refused, ENOBUFS, false};
    }
    std::size_t written = 0;
    while (written < data.size()) {
        const ssize_t count = ::write(fd_, data.data() + written, data.size() - written);
        if (count >= 0) {
            written += static_cast<std::size_t>(count);
        } else if (errno == EINTR) {
            continue;
        } else if (errno == EAGAIN && written == 0) {
            // The driver takes nothing now (its output is stopped): then
            // nothing was sent, and nothing is kept to go later.
            return {Outcome::Busy};
        } else if (errno == EAGAIN) {
            break;
        } else {
            return {Outcome::Failed, errno};
        }
    }
    lastWriteWasIdleSend_ = written == data.size();
    if (!lastWriteWasIdleSend_) {
        queue_.insert(queue_.end(), data.begin() + static_cast<std::ptrdiff_t>(written), data.end());
        queued_ = queue_.size() - head_;
        wake();
    }
    return {Outcome::Accepted};
}

OutgoingQueue::Result OutgoingQueue::writeOrQueue(std::span<const std::uint8_t> data, std::size_t waiting)
{
    std::size_t written = 0;
    if (waiting == 0) {
        while (written < data.size()) {
            const ssize_t count = ::write(fd_, data.data() + written, data.size() - written);
            if (count >= 0) {
                written += static_cast<std::size_t>(count);
            } else if (errno == EINTR) {
                continue;
            } else if (errno == EAGAIN && writer_.joinable()) {
                break;
            } else {
                return {Outcome::Failed, errno};
            }
        }
    }
    lastWriteWasIdleSend_ = false;
    if (written < data.size()) {
        queue_.insert(queue_.end(), data.begin() + static_cast<std::ptrdiff_t>(written), data.end());
        queued_ = queue_.size() - head_;
        if (waiting == 0) {
            wake();
        }
    }
    return {Outcome::Accepted};
}

std::size_t OutgoingQueue::queuedByteCount() const
{
    return queued_.load();
}

bool OutgoingQueue::waitUntilEmpty(std::chrono::steady_clock::time_point deadline)
{
    std::unique_lock lock(mutex_);
    return emptied_.wait_until(lock, deadline, [this] { return stopping_ || queue_.size() == head_; }) &&
           queue_.size() == head_;
}

void OutgoingQueue::stop()
{
    {
        std::lock_guard lock(mutex_);
        if (stopping_) {
            return;
        }
        stopping_ = true;
        queue_.clear();
        head_ = 0;
        queued_ = 0;
    }
    emptied_.notify_all();
    if (!writer_.joinable()) {
        return;
    }
    wake();
    if (writer_.get_id() == std::this_thread::get_id()) {
        // The writer's own error report dropped the last owner of the port.
        writer_.detach();
    } else {
        writer_.join();
    }
}

void OutgoingQueue::wake()
{
    const std::uint64_t one = 1;
    // A full counter already wakes the writer.
    [[maybe_unused]] const ssize_t ignored = ::write(wakeFd_.get(), &one, sizeof one);
}

int OutgoingQueue::writeQueued()
{
    while (head_ < queue_.size()) {
        const ssize_t count = ::write(fd_, queue_.data() + head_, queue_.size() - head_);
        if (count >= 0) {
            head_ += static_cast<std::size_t>(count);
        } else if (errno == EINTR) {
            continue;
        } else if (errno == EAGAIN) {
            break;
        } else {
            const int error = errno;
            head_ = queue_.size();
            return error;
        }
    }
    if (head_ == queue_.size()) {
        queue_.clear();
        head_ = 0;
    } else if (head_ > queue_.size() / 2) {
        // Keep the waiting bytes near the front so the buffer does not grow
        // without bound while the device reads slowly.
        queue_.erase(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(head_));
        head_ = 0;
    }
    queued_ = queue_.size() - head_;
    return 0;
}

void OutgoingQueue::run()
{
    for (;;) {
        bool waiting = false;
        {
            std::lock_guard lock(mutex_);
            if (stopping_) {
                return;
            }
            waiting = queue_.size() > head_;
        }
        // Only watch the device while something waits: a hung-up terminal
        // reports POLLHUP for ever, which would otherwise be a busy loop.
        pollfd fds[2] = {{wakeFd_.get(), POLLIN, 0}, {waiting ? fd_ : -1, POLLOUT, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno != EINTR) {
                log("The outgoing queue of descriptor %d stopped waiting: %i", fd_, errno);
                return;
            }
            continue;
        }
        if ((fds[0].revents & POLLIN) != 0) {
            std::uint64_t count = 0;
            [[maybe_unused]] const ssize_t ignored = ::read(wakeFd_.get(), &count, sizeof count);
        }
        if (fds[1].revents == 0) {
            continue;
        }
        int error = 0;
        bool empty = false;
        {
            std::lock_guard lock(mutex_);
            if (stopping_) {
                return;
            }
            error = writeQueued();
            empty = queue_.size() == head_;
        }
        if (empty) {
            emptied_.notify_all();
        }
        if (error != 0 && onWriteError_) {
            onWriteError_(error);
        }
    }
}

}  // namespace vel
