#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "support/UniqueFd.h"

namespace vel {

// The bytes a port could not write at once, and the background writer that
// drains them as the device takes them. The descriptor must be non-blocking;
// it is not owned, and must stay open until stop() has returned.
//
// Every write, whether from send() or from the writer, happens under one
// lock and only while nothing is queued ahead of it, so bytes sent from one
// thread reach the device in the order they were sent.
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
    };

    // `onWriteError` runs on the writer's thread when a background write
    // fails; what was queued is dropped, since the device refuses it.
    OutgoingQueue(int fd, std::size_t bound, std::function<void(int error)> onWriteError);
    // Stops the writer; see stop().
    ~OutgoingQueue();
    OutgoingQueue(const OutgoingQueue&) = delete;
    OutgoingQueue& operator=(const OutgoingQueue&) = delete;

    // Writes what the device takes now and queues the rest. Never blocks
    // beyond the lock (held by other writes, which do not block either).
    Result send(std::span<const std::uint8_t> data);

    // Writes `data` only if it can leave now: nothing waits in this queue
    // and the driver holds no earlier bytes (TIOCOUTQ is 0). Then all of it
    // goes to the device in one write (a driver that takes only part, which
    // an idle terminal does not do for a few dozen bytes, gets the rest
    // queued as send() would). Otherwise nothing is taken (Busy). For data
    // whose worth is its moment, such as a clock's time: better none than
    // late. So when the driver still holds bytes of the previous sendIfIdle
    // and nothing was written after them, they are stale: they are
    // discarded (TCOFLUSH) rather than left to leave late. Never blocks
    // beyond the lock.
    Result sendIfIdle(std::span<const std::uint8_t> data);

    // Bytes waiting. Any thread; never blocks.
    std::size_t queuedByteCount() const;

    // Waits until everything queued has been handed to the device or the
    // deadline has passed; returns whether the queue emptied.
    bool waitUntilEmpty(std::chrono::steady_clock::time_point deadline);

    // Drops what waits, refuses further sends and joins the writer. Blocks
    // only for a write in progress. Further calls do nothing.
    void stop();

private:
    void run();
    // With the lock held: writes from the head of the queue until the device
    // stops taking bytes. Returns the errno of a failure, or 0.
    int writeQueued();
    void wake();
    // With the lock held: writes what the device takes and queues the rest.
    Result writeOrQueue(std::span<const std::uint8_t> data, std::size_t waiting);

    const int fd_;
    const std::size_t bound_;
    std::function<void(int)> onWriteError_;
    UniqueFd wakeFd_;

    mutable std::mutex mutex_;
    std::condition_variable emptied_;
    // Waiting bytes are queue_[head_, end).
    std::vector<std::uint8_t> queue_;
    std::size_t head_ = 0;
    std::atomic<std::size_t> queued_{0};
    bool refusing_ = false;
    // The last bytes handed to the driver came from sendIfIdle.
    bool lastWriteWasIdleSend_ = false;
    bool stopping_ = false;
    std::thread writer_;
};

}  // namespace vel
