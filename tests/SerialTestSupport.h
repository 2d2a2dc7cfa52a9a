#pragma once

// Shared pieces of the library's port tests: a delegate that records what
// it hears and a main queue run by the test's own thread. The device is
// played by support/PseudoTerminal.h.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <poll.h>
#include <pty.h>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

#include "dispatch/AsioMainQueue.h"
#include "support/PseudoTerminal.h"
#include "support/UniqueFd.h"
#include "VELSerialPort.h"
#include "VELSerialPortDelegate.h"

namespace test {

// Records every callback, with whether it ran on the main thread.
class RecordingDelegate : public VELSerialPortDelegate {
public:
    explicit RecordingDelegate(Callbacks implemented = {Callback::DidReceiveData, Callback::DidEncounterError,
                                                       Callback::WasOpened, Callback::WasClosed})
        : implemented_(implemented)
    {
    }

    Callbacks implementedCallbacks() const override { return implemented_; }

    std::atomic<bool> keepNoModemLineErrors{false};

    void serialPortWasRemovedFromSystem(const std::shared_ptr<VELSerialPort>&) override { record("removed"); }
    void serialPortDidReceiveData(const std::shared_ptr<VELSerialPort>&, std::span<const std::uint8_t> data) override
    {
        std::lock_guard lock(mutex_);
        events_.push_back("data");
        chunks_.emplace_back(data.begin(), data.end());
        offMain_ |= !vel::MainQueue::shared()->isMainThread();
    }
    void serialPortDidEncounterError(const std::shared_ptr<VELSerialPort>&, const vel::PosixError& error) override
    {
        std::lock_guard lock(mutex_);
        // Every pseudo-terminal reports once that it has no modem lines;
        // most tests are not about that.
        if (error.code() == ENOTTY && !keepNoModemLineErrors) {
            return;
        }
        events_.push_back("error");
        errors_.push_back(error);
        offMain_ |= !vel::MainQueue::shared()->isMainThread();
    }
    void serialPortWasOpened(const std::shared_ptr<VELSerialPort>&) override { record("opened"); }
    void serialPortWasClosed(const std::shared_ptr<VELSerialPort>&) override { record("closed"); }

    std::vector<std::string> events() const
    {
        std::lock_guard lock(mutex_);
        return events_;
    }
    std::vector<std::vector<std::uint8_t>> chunks() const
    {
        std::lock_guard lock(mutex_);
        return chunks_;
    }
    std::vector<vel::PosixError> errors() const
    {
        std::lock_guard lock(mutex_);
        return errors_;
    }
    std::size_t receivedBytes() const
    {
        std::lock_guard lock(mutex_);
        std::size_t total = 0;
        for (const auto& c : chunks_) {
            total += c.size();
        }
        return total;
    }
    std::size_t count(const std::string& event) const
    {
        std::lock_guard lock(mutex_);
        return static_cast<std::size_t>(std::count(events_.begin(), events_.end(), event));
    }
    bool calledOffMainThread() const
    {
        std::lock_guard lock(mutex_);
        return offMain_;
    }

private:
    void record(const char* event)
    {
        std::lock_guard lock(mutex_);
        events_.push_back(event);
        offMain_ |= !vel::MainQueue::shared()->isMainThread();
    }

    Callbacks implemented_;
    mutable std::mutex mutex_;
    std::vector<std::string> events_;
    std::vector<std::vector<std::uint8_t>> chunks_;
    std::vector<vel::PosixError> errors_;
    bool offMain_ = false;
};

// Installs the process's main queue, run by the test's thread. One queue for
// the whole process, as in the application: the port manager stays with the
// queue it was made on. (ctest runs each test in a process of its own.)
class MainQueueTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        static const auto processQueue = std::make_shared<vel::AsioMainQueue>();
        main_ = processQueue;
        vel::MainQueue::setShared(main_);
    }

    // Runs the main queue until `done` holds; false after ten seconds.
    bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds deadline = std::chrono::seconds(10))
    {
        return main_->runUntil(done, deadline);
    }

    // Reads what the port writes to the device side, running the main queue
    // meanwhile: bytes the device does not take at once leave from there.
    std::vector<std::uint8_t> readRunning(PseudoTerminal& pty, std::size_t count,
                                          std::chrono::milliseconds deadline = std::chrono::seconds(10))
    {
        auto reader = std::async(std::launch::async, [&] { return pty.take(count, deadline); });
        runUntil([&] { return reader.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
                 deadline + std::chrono::seconds(5));
        return reader.get();
    }

    // Runs the main queue for a while, for things that must NOT happen.
    void runFor(std::chrono::milliseconds window)
    {
        main_->runUntil([] { return false; }, window);
    }

    std::shared_ptr<vel::AsioMainQueue> main_;
};

}  // namespace test
