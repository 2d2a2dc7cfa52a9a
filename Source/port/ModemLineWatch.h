#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <pthread.h>
#include <thread>

namespace vel {

// Watches a terminal's modem input lines (CTS, DSR, DCD) on a thread of its
// own, by event where the driver can: TIOCMIWAIT sleeps in the kernel until
// a line changes, and TIOCMGET then reads them. An idle port thus costs no
// wake-up at all. What the thread finds goes to exactly one of:
// - onLines(bits): the TIOCMGET bits, once when the watch starts and after
//   each change;
// - onNoModemLines(): TIOCMGET is refused (ENOTTY: a pseudo-terminal, the
//   virtual clock); the thread ends;
// - onNoEvents(): TIOCMGET works but TIOCMIWAIT is refused; the thread ends,
//   and the owner falls back to polling;
// - onFailure(errno): either call failed otherwise (EIO and friends when the
//   device has gone); the thread ends.
// The callbacks run on the watch's thread and may block (for the main
// thread, say); they must not call stop().
//
// The descriptor is not owned and must stay open until stop() returns.
// stop() wakes the waiting thread with a signal (see kWakeSignal), since
// neither closing the descriptor nor anything else short of a hang-up ends
// a TIOCMIWAIT, and joins it.
class ModemLineWatch {
public:
    struct Handlers {
        std::function<void(int bits)> onLines;
        std::function<void()> onNoModemLines;
        std::function<void()> onNoEvents;
        std::function<void(int error)> onFailure;
    };

    // The signal that interrupts a waiting thread. Its handler does nothing
    // and is installed without SA_RESTART, so that the wait returns EINTR.
    static int wakeSignal();

    ModemLineWatch(int fd, Handlers handlers);
    // Stops the watch; see stop().
    ~ModemLineWatch();
    ModemLineWatch(const ModemLineWatch&) = delete;
    ModemLineWatch& operator=(const ModemLineWatch&) = delete;

    // Wakes the thread and joins it. Blocks until a callback in progress has
    // returned. Further calls do nothing; not from the watch's own thread.
    void stop();

private:
    void run();

    const int fd_;
    Handlers handlers_;
    std::atomic<bool> stopping_{false};
    std::mutex mutex_;
    std::condition_variable ended_;
    bool running_ = true;
    std::thread thread_;
};

}  // namespace vel
