#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

#include "support/UniqueFd.h"

namespace vel {

// Calls an event handler each time a descriptor becomes readable (or hangs
// up, or fails), one call at a time, until cancelled; then calls the cancel
// handler exactly once, after the last event handler has returned. Both run
// on a thread of the source's own, which waits with poll(2) and calls the
// handler where the wait completed: one thread per source, so a reader
// reads on the thread that saw the input, with no hand-off in between.
// The descriptor is not owned: the cancel handler is where its owner may
// close it. Both handlers are dropped once the cancel handler has run, so
// they may hold their owner.
//
// The wait is level-triggered: input the handler leaves unread wakes it
// again at once. A handler may therefore block (for example while its
// reader has no room), which holds back the next event, not the others'.
//
// A resumed source keeps itself alive until it is cancelled. When waiting on
// the descriptor fails (a descriptor closed behind the source's back, or a
// regular file, which poll(2) always calls readable), the event handler is
// called once more so that its read reports the failure, and then the source
// stops waiting: such failures do not heal, and waiting again would only spin.
// The cancel handler still follows cancel() as usual.
class ReadSource : public std::enable_shared_from_this<ReadSource> {
public:
    static std::shared_ptr<ReadSource> create(int fd, std::function<void()> onReadable,
                                              std::function<void()> onCancel);
    ~ReadSource();
    ReadSource(const ReadSource&) = delete;
    ReadSource& operator=(const ReadSource&) = delete;

    // Starts watching. Without resume no event is delivered. Further calls
    // do nothing. Any thread; never blocks.
    void resume();

    // Stops delivering events. Returns at once (also from within the event
    // handler); the cancel handler follows on the source's thread. Further
    // calls do nothing.
    void cancel();

    bool isCancelled() const;

private:
    ReadSource(int fd, UniqueFd wake, bool watchable, std::function<void()> onReadable,
               std::function<void()> onCancel);
    // Starts the thread, once; false when it had started already.
    void startThread();
    void run();
    void waitForCancel();

    const int fd_;
    const UniqueFd wake_;  // an eventfd: cancel() makes it readable
    const bool watchable_;
    std::function<void()> onReadable_;
    std::function<void()> onCancel_;
    std::atomic<bool> cancelled_{false};
    std::mutex startMutex_;
    bool started_ = false;
};

}  // namespace vel
