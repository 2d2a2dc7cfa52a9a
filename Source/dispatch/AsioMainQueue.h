#pragma once

#include <asio/io_context.hpp>
#include <chrono>
#include <thread>

#include "dispatch/MainQueue.h"

namespace vel {

// The library's own main queue: an asio::io_context run by the thread that
// created it. For tests and command-line tools; the application uses its own
// on Qt's event loop.
//
// An exception thrown by a posted task leaves run()/runUntil() on the main
// thread; one thrown by a postAndWait task reaches the waiting caller.
// Watches must not outlive the queue. A watch is armed again before its
// handler runs, so readiness that comes while the handler runs is not lost
// (the reactor reports edges): a handler may now and then find nothing to
// do.
class AsioMainQueue : public MainQueue {
public:
    AsioMainQueue();

    void post(std::function<void()> task) override;
    bool isMainThread() const override;
    std::unique_ptr<DescriptorWatch> watchReadable(int fd, std::function<void()> onReadable) override;
    std::unique_ptr<DescriptorWatch> watchWritable(int fd, std::function<void()> onWritable) override;

    // Runs the loop on the calling (main) thread until stop() or, with a
    // predicate, until it holds or the deadline passes; returns whether it
    // held. The predicate is checked after every handler and at least every
    // few milliseconds, so it may also wait for other threads. stop() ends
    // the run in progress; the next run starts afresh.
    void run();
    bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds deadline);
    void stop();

    asio::io_context& context() { return context_; }

private:
    std::unique_ptr<DescriptorWatch> watch(int fd, bool writable, std::function<void()> onReady);

    asio::io_context context_;
    const std::thread::id mainThread_;
};

}  // namespace vel
