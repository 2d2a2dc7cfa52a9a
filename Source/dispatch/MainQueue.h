#pragma once

#include <functional>
#include <memory>

namespace vel {

// While alive, calls its handler on the main thread whenever the watched
// descriptor is readable. Destroying it stops the watch; it never owns or
// closes the descriptor.
class DescriptorWatch {
public:
    virtual ~DescriptorWatch() = default;
};

// The application's main thread as the library sees it. Every delegate
// callback, every change of the port manager's list and its notifications
// run here. The application supplies one on its own event loop (Qt); the
// library ships AsioMainQueue for tests and command-line tools.
class MainQueue {
public:
    virtual ~MainQueue() = default;

    // Queues the task; returns at once.
    virtual void post(std::function<void()> task) = 0;

    // Runs the task on the main thread and returns once it has run. Called on
    // the main thread itself, it runs the task at once instead of deadlocking.
    virtual void postAndWait(std::function<void()> task) = 0;

    virtual bool isMainThread() const = 0;

    // Calls onReadable on the main thread each time fd is readable, for as
    // long as the returned watch lives.
    virtual std::unique_ptr<DescriptorWatch> watchReadable(int fd, std::function<void()> onReadable) = 0;

    // The process's main queue. The application installs its own before it
    // first touches a port or the port manager.
    static std::shared_ptr<MainQueue> shared();
    static bool hasShared();
    static void setShared(std::shared_ptr<MainQueue> queue);
};

}  // namespace vel
