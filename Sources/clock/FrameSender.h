#pragma once

#include <QByteArray>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "support/UniqueFd.h"

class VELSerialPort;

// Writes the time sync's frames at their instants, on a small thread of its
// own, so that a frame leaves on the wall clock's microsecond whatever the
// window's thread is doing (drawing a console flood, a modal dialog).
//
// The thread sleeps in a timerfd on CLOCK_REALTIME armed at the frame's
// absolute send instant, with TFD_TIMER_CANCEL_ON_SET: when the system clock
// is set (NTP stepping it, a resume from suspend, the time set by hand) the
// wait ends at once and `clockStepped` is told, so the owner plans anew on
// the new time. The thread never builds a frame; it writes the one it was
// given, through the port's sendDataIfIdle (whole and now, or not at all:
// earlier bytes waiting in the line would make it late), and only within
// SyncGrid::lateLimit of its instant.
//
// schedule() and cancel(): any thread, never block beyond a short lock. The
// two callbacks run on the sender's thread; the owner moves them to its own.
class FrameSender {
public:
    using Nanoseconds = std::chrono::nanoseconds;

    struct Frame {
        Nanoseconds point{0};   // the grid point the frame shows
        Nanoseconds sendAt{0};  // on CLOCK_REALTIME, since the epoch
        QByteArray bytes;
        std::shared_ptr<VELSerialPort> port;  // none: nothing is written
    };
    enum class Outcome {
        Sent,
        Busy,    // the line still held earlier bytes: nothing written
        Late,    // woke more than lateLimit after the instant: nothing written
        NoPort,  // no port, or the port is closed
    };
    struct Report {
        Nanoseconds point{0};
        Outcome outcome = Outcome::NoPort;
        // How long after its instant the frame was written (or given up).
        Nanoseconds lateness{0};
        QByteArray bytes;
        // The frame's port, handed back so that the last reference to a
        // port given up meanwhile goes on the owner's thread.
        std::shared_ptr<VELSerialPort> port;
    };

    // Starts the thread. Without a timerfd (a kernel that has none) nothing
    // is ever sent and isWorking() is false.
    FrameSender(std::function<void(const Report&)> reported, std::function<void()> clockStepped);
    // Stops and joins the thread; no callback runs after it returns.
    ~FrameSender();
    FrameSender(const FrameSender&) = delete;
    FrameSender& operator=(const FrameSender&) = delete;

    bool isWorking() const { return thread_.joinable(); }

    // The next frame to write, replacing one that waits.
    void schedule(Frame frame);
    // Drops the frame that waits, if any.
    void cancel();

    static Nanoseconds now();

private:
    void run();
    void wake();
    // With the lock held: the timer aimed at the waiting frame, or stopped.
    void arm();
    void sendDue();

    std::function<void(const Report&)> reported_;
    std::function<void()> clockStepped_;
    vel::UniqueFd timer_;
    vel::UniqueFd wake_;
    std::mutex mutex_;
    std::optional<Frame> waiting_;
    bool stopping_ = false;
    std::thread thread_;
};
