#pragma once

#include <asio/any_io_executor.hpp>
#include <asio/strand.hpp>
#include <functional>
#include <string>

namespace vel {

// A serial queue: tasks run one at a time, in the order submitted, on the
// serial-queue pool of GlobalQueue.
class SerialQueue {
public:
    explicit SerialQueue(std::string label);
    // A serial queue on the given executor instead: tasks run wherever that
    // executor runs them (an io_context run by one thread makes the queue
    // run on that thread, as a deterministic test or fuzz target needs).
    SerialQueue(std::string label, asio::any_io_executor executor);
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    const std::string& label() const { return label_; }

    // Queues the task; returns at once.
    void async(std::function<void()> task);

    // Runs the task on the queue and returns once it has run; an exception
    // the task throws reaches the caller. Called from a task of this same
    // queue, it runs the task at once (waiting would deadlock). It blocks a
    // thread, so a task of one queue should not sync onto a second queue
    // that syncs back: the serial pool has only a few threads.
    void sync(const std::function<void()>& task);

    // True while the calling thread is running a task of this queue.
    bool isCurrent() const;

    asio::any_io_executor executor() const { return strand_; }

private:
    std::string label_;
    asio::strand<asio::any_io_executor> strand_;
};

}  // namespace vel
