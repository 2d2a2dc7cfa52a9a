#pragma once

#include <functional>
#include <memory>

#include "dispatch/MainQueue.h"
#include "support/UniqueFd.h"

namespace vel {

// SIGINT, SIGTERM and SIGHUP as events on the main thread, through a
// signalfd watched by the main queue's descriptor watch: it works on the
// application's Qt queue and on AsioMainQueue alike. A program uses it to end
// the way quitting does (ports close and get their original attributes back)
// instead of being killed by the default action.
//
// A signalfd only sees signals that no thread takes by the default action,
// so the three must be blocked in every thread: call blockInThisThread()
// first thing in main, before any thread is started (threads inherit the
// mask). Threads started earlier would still die of the signal.
class TerminationSignals {
public:
    // Blocks SIGINT, SIGTERM and SIGHUP in the calling thread and in every
    // thread it starts from now on. Returns false, errno set, on failure.
    static bool blockInThisThread();

    // Starts watching; `onSignal` runs on the main thread with the signal's
    // number, once per signal received (signals of one kind that arrive
    // together may be merged). Call on any thread after blockInThisThread().
    // Throws std::system_error when no signalfd can be made.
    TerminationSignals(MainQueue& queue, std::function<void(int signal)> onSignal);
    // Stops watching. The signals stay blocked: one that arrives later stays
    // pending instead of killing the process. Destroy it on the main thread
    // or once its queue no longer runs.
    ~TerminationSignals();
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

private:
    void readSignals();

    UniqueFd fd_;
    std::function<void(int)> onSignal_;
    std::unique_ptr<DescriptorWatch> watch_;
};

}  // namespace vel
