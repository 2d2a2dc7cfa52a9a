#pragma once

// The state of one opening of a VELSerialPort, shared by the files that
// define the port's members. Not part of the library's interface.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <termios.h>
#include <vector>

#include "VELSerialPort.h"
#include "dispatch/MainQueue.h"
#include "dispatch/TimerSource.h"
#include "port/ModemLineWatch.h"
#include "port/OutgoingQueue.h"

namespace vel::port {

// EIO, ENXIO, ENODEV: what a device that has gone answers.
bool isDeviceGoneError(int error);

// Runs the task on the main thread and waits for it. Once the process has
// begun to exit there is no main loop to wait for: the task then runs on the
// calling thread, so that the delegate still hears of the removal and the
// close.
void runOnMainAndWait(std::function<void()> task);

}  // namespace vel::port

struct VELSerialPort::Opening {
    int fd = 0;
    termios originalAttributes{};
    // The driver's ASYNC_LOW_LATENCY before the port touched it: 0 or 1, or
    // -1 while unknown (not read yet, or the driver has no such setting).
    int originalLowLatency = -1;
    // Set before the descriptor is published, never replaced.
    std::unique_ptr<vel::OutgoingQueue> outgoing;
    // Where reads land: the delegate is handed this memory in place.
    std::vector<std::uint8_t> block;
    // Bytes read and being handed to the delegate right now.
    std::atomic<std::size_t> inDelivery{0};

    // Main thread only (or the exiting thread, once the main loop is gone).
    std::unique_ptr<vel::DescriptorWatch> readWatch;
    std::unique_ptr<vel::DescriptorWatch> writeWatch;

    // Modem lines by event; the poll only where the driver has no events.
    std::unique_ptr<vel::ModemLineWatch> modemWatch;
    std::mutex pollMutex;
    std::shared_ptr<vel::TimerSource> pollTimer;  // under pollMutex
    // Set by close: the watches ignore what they still see.
    std::atomic<bool> closing{false};
    // The real close runs once per opening: at exit it may run on the
    // exiting thread while a close already dispatched is still due.
    std::atomic<bool> reallyClosed{false};
    // Touched by the watch, then by the poll it starts, never at once.
    int lastReportedPollError = 0;

    // Told when the real close has finished, whatever its outcome: the exit
    // waits for closes under way elsewhere.
    std::mutex finishMutex;
    std::condition_variable finishedChanged;
    bool finished = false;  // under finishMutex

    std::shared_ptr<vel::TimerSource> currentPollTimer()
    {
        std::lock_guard lock(pollMutex);
        return pollTimer;
    }
};
