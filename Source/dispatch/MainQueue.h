#pragma once

#include <functional>
#include <memory>

namespace vel {

// While alive, calls its handler on the main thread whenever the watched
// descriptor is ready (readable or writable, as it was made). Destroying it
// stops the watch; it never owns or closes the descriptor. Destroy it before
// the descriptor is closed.
class DescriptorWatch {
public:
    virtual ~DescriptorWatch() = default;
};

// The application's main thread as the library sees it. Every delegate
// callback, every change of the port manager's list and its notifications
// run here, and so does the reading and writing of open ports (through the
// descriptor watches below). The application supplies one on its own event
// loop (Qt); the library ships AsioMainQueue for tests and command-line
// tools.
class MainQueue {
public:
    virtual ~MainQueue() = default;

    // Queues the task; returns at once. Any thread.
    virtual void post(std::function<void()> task) = 0;

    // Runs the task on the main thread and returns once it has run; an
    // exception it throws reaches the caller. Called on the main thread
    // itself, it runs the task at once instead of deadlocking. It never
    // waits for a main loop that has stopped for good: once the process has
    // begun to exit (mainLoopHasEnded) it returns at once, also to a caller
    // already waiting, and the task may then never run; the same when the
    // queue drops the task unrun. Any thread.
    void postAndWait(std::function<void()> task);

    virtual bool isMainThread() const = 0;

    // Call onReady on the main thread each time fd is readable (writable),
    // for as long as the returned watch lives. Any thread; the watch may be
    // dropped on any thread too, though a call in progress on the main
    // thread may then still finish. A watch may be null when the queue can
    // no longer make one (its main loop has ended).
    virtual std::unique_ptr<DescriptorWatch> watchReadable(int fd, std::function<void()> onReadable) = 0;
    virtual std::unique_ptr<DescriptorWatch> watchWritable(int fd, std::function<void()> onWritable) = 0;

    // The process's main queue. The application installs its own before it
    // first touches a port or the port manager.
    static std::shared_ptr<MainQueue> shared();
    static bool hasShared();
    static void setShared(std::shared_ptr<MainQueue> queue);

    // The process is exiting: from now on nothing waits for the main loop
    // (see postAndWait). Called by the library's exit clean-up.
    static void mainLoopHasEnded();
    static bool hasMainLoopEnded();
};

}  // namespace vel
