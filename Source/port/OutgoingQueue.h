#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <vector>

namespace vel {

// The bytes a port could not write at once. It has no thread: the owner
// watches the descriptor for writability on its main loop while bytes wait
// (a send says when they start to) and calls flush() there; the close step
// hands the rest to the device with drain(). The descriptor must be
// non-blocking; it is not owned, and must stay open until stop() has
// returned.
//
// Every write happens under one lock and only while nothing is queued ahead
// of it, so bytes sent from one thread reach the device in the order they
// were sent. Every call is thread-safe and none blocks beyond that lock
// (held only by other non-blocking writes), except drain().
class OutgoingQueue {
public:
    enum class Outcome {
        Accepted,  // written, or queued behind what waits
        Refused,   // the queue would exceed its bound: nothing taken
        Failed,    // a write failed: `error` tells why, nothing queued
        Stopped,   // the port is closing: nothing taken
        Busy,      // sendIfIdle only: earlier bytes still wait; nothing taken
    };
    struct Result {
        Outcome outcome;
        int error = 0;
        // Refused only: this is the first refusal since a send was last
        // accepted (one report per episode of a full queue).
        bool firstRefusal = false;
        // Accepted only: this send left bytes waiting in an empty queue, so
        // the owner must start watching for writability.
        bool startedWaiting = false;
    };
    struct Flushed {
        int error = 0;       // errno of a failed write; what waited is dropped
        bool empty = false;  // nothing waits any more
    };

    OutgoingQueue(int fd, std::size_t bound);
    OutgoingQueue(const OutgoingQueue&) = delete;
    OutgoingQueue& operator=(const OutgoingQueue&) = delete;

    // Writes what the device takes now and queues the rest.
    Result send(std::span<const std::uint8_t> data);

    // Writes `data` only if it can leave now: nothing waits in this queue
    // and the driver holds no earlier bytes (TIOCOUTQ is 0). Then all of it
    // goes to the device in one write (a driver that takes only part, which
    // an idle terminal does not do for a few dozen bytes, gets the rest
    // queued as send() would). Otherwise nothing is taken (Busy). For data
    // whose worth is its moment, such as a clock's time: better none than
    // late. So when the driver still holds bytes of the previous sendIfIdle
    // and nothing was written after them, they are stale: they are
    // discarded (TCOFLUSH) rather than left to leave late.
    Result sendIfIdle(std::span<const std::uint8_t> data);

    // The descriptor is writable: writes from the head of the queue until
    // the device stops taking bytes.
    Flushed flush();

    // Bytes waiting. Never blocks.
    std::size_t queuedByteCount() const;

    // For the close: writes what waits as the device takes it, waiting for
    // writability (poll) between writes, until the queue is empty, a write
    // fails or the deadline passes. Returns whether the queue emptied.
    // Blocks up to the deadline.
    bool drain(std::chrono::steady_clock::time_point deadline);

    // Drops what waits and refuses further sends. Further calls do nothing.
    void stop();

private:
    // With the lock held: writes from the head of the queue until the device
    // stops taking bytes. Returns the errno of a failure, or 0.
    int writeQueued();
    // With the lock held: writes what the device takes and queues the rest.
    Result writeOrQueue(std::span<const std::uint8_t> data, std::size_t waiting);
    // With the lock held: writes until the device stops taking bytes.
    struct Written {
        std::size_t count = 0;
        int error = 0;  // errno of a failed write
    };
    Written writeNow(std::span<const std::uint8_t> data);

    const int fd_;
    const std::size_t bound_;

    mutable std::mutex mutex_;
    // Waiting bytes are queue_[head_, end).
    std::vector<std::uint8_t> queue_;
    std::size_t head_ = 0;
    std::atomic<std::size_t> queued_{0};
    bool refusing_ = false;
    // The last bytes handed to the driver came from sendIfIdle.
    bool lastWriteWasIdleSend_ = false;
    bool stopping_ = false;
};

}  // namespace vel
