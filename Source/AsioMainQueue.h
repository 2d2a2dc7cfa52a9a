#pragma once

#include <asio/io_context.hpp>
#include <thread>

#include "MainQueue.h"

namespace vel {

// The library's own main queue: an asio::io_context run by the thread that
// created it. For tests and command-line tools; the application uses its own
// on Qt's event loop.
class AsioMainQueue : public MainQueue {
public:
    AsioMainQueue();

    void post(std::function<void()> task) override;
    void postAndWait(std::function<void()> task) override;
    bool isMainThread() const override;
    std::unique_ptr<DescriptorWatch> watchReadable(int fd, std::function<void()> onReadable) override;

    // Runs the loop on the calling (main) thread until stop() or, with a
    // predicate, until it holds or the deadline passes; returns whether it held.
    void run();
    bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds deadline);
    void stop();

    asio::io_context& context() { return context_; }

private:
    asio::io_context context_;
    std::thread::id mainThread_;
};

}  // namespace vel
