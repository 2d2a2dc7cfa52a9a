#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <vector>

namespace vel {

// The bytes a port has read and the main thread has not yet delivered: one
// fixed block of memory, filled by the reader thread one read at a time and
// emptied by the main thread in the same order. Each read lands directly in
// the block and the delegate is handed that same memory, so a chunk is
// neither allocated nor copied on its way.
//
// The block is the back-pressure too: when it has no room left, the reader
// waits (waitForRoom) and stops reading, so the kernel's buffers and the
// device's flow control hold the rest; as the main thread delivers chunks,
// room comes back and reading resumes. Nothing is dropped, and never more
// than `capacity` bytes wait undelivered.
//
// One reader thread and one consumer at a time; every call is thread-safe.
class ReceiveBuffer {
public:
    // A read gets at most `largestRead` bytes and at least `smallestRoom`
    // (the reader waits for that much contiguous room).
    ReceiveBuffer(std::size_t capacity, std::size_t largestRead, std::size_t smallestRoom);
    ReceiveBuffer(const ReceiveBuffer&) = delete;
    ReceiveBuffer& operator=(const ReceiveBuffer&) = delete;

    // Reader: where the next read goes. Blocks while there is no room;
    // returns an empty span once stop() has been called.
    std::span<std::uint8_t> waitForRoom();
    // Reader: the first `count` bytes of the span that waitForRoom gave hold
    // a chunk. Returns true when the consumer must be scheduled (no delivery
    // was pending); from then on it is scheduled until nextChunk says so.
    bool commit(std::size_t count);

    // Consumer: the oldest chunk, which stays valid until release(); or an
    // empty span when none waits, which also ends the scheduled delivery.
    std::span<const std::uint8_t> nextChunk();
    // Consumer: done with the chunk nextChunk gave; wakes a waiting reader.
    void release();

    // Wakes a waiting reader for good. Chunks already committed can still be
    // taken.
    void stop();

    // Bytes committed and not yet released. Any thread.
    std::size_t undeliveredByteCount() const;

private:
    struct Chunk {
        std::size_t offset;
        std::size_t length;
    };
    // With the lock held: contiguous room for a read, or an empty span.
    std::span<std::uint8_t> roomLocked();

    const std::size_t largestRead_;
    const std::size_t smallestRoom_;
    std::vector<std::uint8_t> bytes_;

    mutable std::mutex mutex_;
    std::condition_variable roomMade_;
    // The committed chunks in order, a ring over chunks_[first_, first_+count_)
    // that grows by doubling (so it stops allocating once it has grown).
    std::vector<Chunk> chunks_;
    std::size_t first_ = 0;
    std::size_t count_ = 0;
    // Where the next read goes; `wrapped_` while it is below the oldest chunk.
    std::size_t write_ = 0;
    bool wrapped_ = false;
    std::size_t undelivered_ = 0;
    bool scheduled_ = false;
    bool stopped_ = false;
};

}  // namespace vel
