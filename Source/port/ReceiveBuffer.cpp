#include "port/ReceiveBuffer.h"

#include <algorithm>
#include <utility>

namespace vel {

ReceiveBuffer::ReceiveBuffer(std::size_t capacity, std::size_t largestRead, std::size_t smallestRoom)
    : largestRead_(std::min(largestRead, capacity)),
      smallestRoom_(std::clamp<std::size_t>(smallestRoom, 1, std::min(largestRead, capacity))),
      bytes_(capacity),
      chunks_(64)
{
}

std::span<std::uint8_t> ReceiveBuffer::roomLocked()
{
    const std::size_t capacity = bytes_.size();
    if (count_ == 0) {
        // Empty: start over at the front, where the memory is warm.
        write_ = 0;
        wrapped_ = false;
        return {bytes_.data(), largestRead_};
    }
    const std::size_t oldest = chunks_[first_].offset;
    if (!wrapped_) {
        const std::size_t toEnd = capacity - write_;
        if (toEnd >= smallestRoom_) {
            return {bytes_.data() + write_, std::min(largestRead_, toEnd)};
        }
        if (oldest < smallestRoom_) {
            return {};
        }
        wrapped_ = true;
        write_ = 0;
    }
    const std::size_t free = oldest - write_;
    if (free < smallestRoom_) {
        return {};
    }
    return {bytes_.data() + write_, std::min(largestRead_, free)};
}

std::span<std::uint8_t> ReceiveBuffer::waitForRoom()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        if (stopped_) {
            return {};
        }
        const auto room = roomLocked();
        if (!room.empty()) {
            return room;
        }
        roomMade_.wait(lock);
    }
}

bool ReceiveBuffer::commit(std::size_t count)
{
    if (count == 0) {
        return false;
    }
    std::lock_guard lock(mutex_);
    if (count_ == chunks_.size()) {
        std::vector<Chunk> grown(chunks_.size() * 2);
        for (std::size_t i = 0; i < count_; ++i) {
            grown[i] = chunks_[(first_ + i) % chunks_.size()];
        }
        chunks_ = std::move(grown);
        first_ = 0;
    }
    chunks_[(first_ + count_) % chunks_.size()] = Chunk{write_, count};
    ++count_;
    write_ += count;
    undelivered_ += count;
    return !std::exchange(scheduled_, true);
}

std::span<const std::uint8_t> ReceiveBuffer::nextChunk()
{
    std::lock_guard lock(mutex_);
    if (count_ == 0) {
        scheduled_ = false;
        return {};
    }
    const Chunk& chunk = chunks_[first_];
    return {bytes_.data() + chunk.offset, chunk.length};
}

void ReceiveBuffer::release()
{
    {
        std::lock_guard lock(mutex_);
        if (count_ == 0) {
            return;
        }
        undelivered_ -= chunks_[first_].length;
        first_ = (first_ + 1) % chunks_.size();
        --count_;
        // Once the chunks above the write position are all gone, the free
        // room is above it again.
        if (wrapped_ && (count_ == 0 || chunks_[first_].offset < write_)) {
            wrapped_ = false;
        }
    }
    roomMade_.notify_one();
}

void ReceiveBuffer::stop()
{
    {
        std::lock_guard lock(mutex_);
        stopped_ = true;
    }
    roomMade_.notify_all();
}

std::size_t ReceiveBuffer::undeliveredByteCount() const
{
    std::lock_guard lock(mutex_);
    return undelivered_;
}

}  // namespace vel
