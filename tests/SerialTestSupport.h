#pragma once

// Shared pieces of the library's port tests: a pseudo-terminal playing the
// device, a delegate that records what it hears, and a main queue run by
// the test's own thread.

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
#include "support/UniqueFd.h"
#include "VELSerialPort.h"
#include "VELSerialPortDelegate.h"

namespace test {

// A pseudo-terminal: the port opens the slave path, the test plays the
// device on the raw master side.
class PtyPair {
public:
    PtyPair()
    {
        int master = -1;
        int slave = -1;
        char name[128] = {};
        if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
            ADD_FAILURE() << "openpty failed";
            return;
        }
        master_.reset(master);
        termios raw{};
        ::tcgetattr(master, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(master, TCSANOW, &raw);
        // Holding the slave open keeps the master readable before the port
        // opens; close it with closeSlave() when a test needs a lone port.
        slave_.reset(slave);
        path_ = name;
    }

    int master() const { return master_.get(); }
    int slave() const { return slave_.get(); }
    const std::string& path() const { return path_; }
    void closeMaster() { master_.reset(); }
    void closeSlave() { slave_.reset(); }

    // The slave's attributes, as the master side sees them.
    termios attributes() const
    {
        termios t{};
        ::tcgetattr(master_.get(), &t);
        return t;
    }

    void write(const std::vector<std::uint8_t>& bytes) const
    {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(master_.get(), bytes.data() + done, bytes.size() - done);
            ASSERT_GT(n, 0);
            done += static_cast<std::size_t>(n);
        }
    }

    // Reads until `count` bytes have arrived or the deadline passes.
    std::vector<std::uint8_t> read(std::size_t count, std::chrono::milliseconds deadline = std::chrono::seconds(10)) const
    {
        std::vector<std::uint8_t> bytes;
        const auto end = std::chrono::steady_clock::now() + deadline;
        while (bytes.size() < count && std::chrono::steady_clock::now() < end) {
            pollfd p{master_.get(), POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) {
                continue;
            }
            std::uint8_t buffer[4096];
            const ssize_t n = ::read(master_.get(), buffer, std::min(sizeof buffer, count - bytes.size()));
            if (n <= 0) {
                break;
            }
            bytes.insert(bytes.end(), buffer, buffer + n);
        }
        return bytes;
    }

    // Whatever arrives within `window`.
    std::vector<std::uint8_t> drain(std::chrono::milliseconds window) const
    {
        return read(1 << 20, window);
    }

private:
    vel::UniqueFd master_;
    vel::UniqueFd slave_;
    std::string path_;
};

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

// Installs a main queue run by the test's thread.
class MainQueueTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        main_ = std::make_shared<vel::AsioMainQueue>();
        vel::MainQueue::setShared(main_);
    }

    // Runs the main queue until `done` holds; false after ten seconds.
    bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds deadline = std::chrono::seconds(10))
    {
        return main_->runUntil(done, deadline);
    }

    // Reads what the port writes to the device side, running the main queue
    // meanwhile: bytes the device does not take at once leave from there.
    std::vector<std::uint8_t> readRunning(const PtyPair& pty, std::size_t count,
                                          std::chrono::milliseconds deadline = std::chrono::seconds(10))
    {
        auto reader = std::async(std::launch::async, [&] { return pty.read(count, deadline); });
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
