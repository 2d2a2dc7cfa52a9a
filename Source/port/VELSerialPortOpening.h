#pragma once

// The state of one opening of a VELSerialPort, shared by the files that
// define the port's members. Not part of the library's interface.

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <termios.h>

#include "VELSerialPort.h"
#include "dispatch/ReadSource.h"
#include "dispatch/TimerSource.h"
#include "port/ModemLineWatch.h"
#include "port/OutgoingQueue.h"
#include "port/ReceiveBuffer.h"

namespace vel::port {

// Set once the process has started to exit: from then on nothing waits for
// the main queue.
std::atomic<bool>& processIsExiting();

// EIO, ENXIO, ENODEV: what a device that has gone answers.
bool isDeviceGoneError(int error);

// Runs the task on the main queue and waits for it, but never waits for a
// main loop that has stopped: once the process has begun to exit nothing
// runs it again, so the wait gives up (the task may then never run).
void runOnMainAndWait(std::function<void()> task);

}  // namespace vel::port

struct VELSerialPort::Opening {
    int fd = 0;
    termios originalAttributes{};
    std::shared_ptr<vel::ReadSource> readSource;
    // Set before the descriptor is published, never replaced.
    std::unique_ptr<vel::OutgoingQueue> outgoing;
    std::unique_ptr<vel::ReceiveBuffer> received;
    // Modem lines by event; the poll only where the driver has no events.
    std::unique_ptr<vel::ModemLineWatch> modemWatch;
    std::mutex pollMutex;
    std::shared_ptr<vel::TimerSource> pollTimer;  // under pollMutex
    // The real close runs once per opening: at exit it may run on the
    // exiting thread while the read source's cancel handler is still due.
    std::atomic<bool> reallyClosed{false};
    std::atomic<bool> closeFinished{false};
    // Touched by the watch, then by the poll it starts, never at once.
    int lastReportedPollError = 0;

    std::shared_ptr<vel::TimerSource> currentPollTimer()
    {
        std::lock_guard lock(pollMutex);
        return pollTimer;
    }
};
