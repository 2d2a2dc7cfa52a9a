#include "port/OutgoingQueue.h"

#include <cerrno>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace vel {

OutgoingQueue::OutgoingQueue(int fd, std::size_t bound) : fd_(fd), bound_(bound) {}

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
    const Written now = writeNow(data);
    if (now.error != 0) {
        return {Outcome::Failed, now.error};
    }
    if (now.count == 0) {
        // The driver takes nothing now (its output is stopped): then nothing
        // was sent, and nothing is kept to go later.
        return {Outcome::Busy};
    }
    Result result{Outcome::Accepted};
    lastWriteWasIdleSend_ = now.count == data.size();
    if (!lastWriteWasIdleSend_) {
        queue_.insert(queue_.end(), data.begin() + static_cast<std::ptrdiff_t>(now.count), data.end());
        queued_ = queue_.size() - head_;
        result.startedWaiting = true;
    }
    return result;
}

OutgoingQueue::Written OutgoingQueue::writeNow(std::span<const std::uint8_t> data)
{
    Written written;
    while (written.count < data.size()) {
        const ssize_t count = ::write(fd_, data.data() + written.count, data.size() - written.count);
        if (count >= 0) {
            written.count += static_cast<std::size_t>(count);
        } else if (errno == EINTR) {
            continue;
        } else if (errno == EAGAIN) {
            break;
        } else {
            written.error = errno;
            break;
        }
    }
    return written;
}

OutgoingQueue::Result OutgoingQueue::writeOrQueue(std::span<const std::uint8_t> data, std::size_t waiting)
{
    std::size_t written = 0;
    if (waiting == 0) {
        const Written now = writeNow(data);
        if (now.error != 0) {
            return {Outcome::Failed, now.error};
        }
        written = now.count;
    }
    Result result{Outcome::Accepted};
    lastWriteWasIdleSend_ = false;
    if (written < data.size()) {
        queue_.insert(queue_.end(), data.begin() + static_cast<std::ptrdiff_t>(written), data.end());
        queued_ = queue_.size() - head_;
        result.startedWaiting = waiting == 0;
    }
    return result;
}

std::size_t OutgoingQueue::queuedByteCount() const
{
    return queued_.load();
}

OutgoingQueue::Flushed OutgoingQueue::flush()
{
    std::lock_guard lock(mutex_);
    Flushed flushed;
    flushed.error = writeQueued();
    flushed.empty = queue_.size() == head_;
    return flushed;
}

bool OutgoingQueue::drain(std::chrono::steady_clock::time_point deadline)
{
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (writeQueued() != 0 || queue_.size() == head_) {
                return queue_.size() == head_;
            }
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                                std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return false;
        }
        pollfd writable{fd_, POLLOUT, 0};
        if (::poll(&writable, 1, static_cast<int>(left.count())) < 0 && errno != EINTR) {
            return false;
        }
    }
}

void OutgoingQueue::stop()
{
    std::lock_guard lock(mutex_);
    stopping_ = true;
    queue_.clear();
    queue_.shrink_to_fit();
    head_ = 0;
    queued_ = 0;
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
            queue_.clear();
            head_ = 0;
            queued_ = 0;
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

}  // namespace vel
