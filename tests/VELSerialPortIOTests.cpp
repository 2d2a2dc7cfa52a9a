#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <sys/wait.h>
#include <fcntl.h>
#include <filesystem>
#include <future>
#include <poll.h>
#include <thread>

#include "SerialTestSupport.h"
#include "support/NormalUser.h"

using test::PseudoTerminal;
using test::RecordingDelegate;
using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

// Sending and closing against a device that does not keep up. A device that
// never reads is a pseudo-terminal whose master side nobody reads.

namespace {

class PortIOTest : public test::MainQueueTest {
protected:
    std::shared_ptr<VELSerialPort> openPort(const PseudoTerminal& pty, const std::shared_ptr<RecordingDelegate>& delegate)
    {
        auto port = VELSerialPort::initWithPath(pty.path());
        EXPECT_TRUE(port);
        if (!port) {
            return nullptr;
        }
        port->setDelegate(delegate);
        port->open();
        EXPECT_TRUE(runUntil([&] { return delegate->count("opened") == 1; }));
        return port;
    }

    void closeAndWait(const std::shared_ptr<VELSerialPort>& port, const std::shared_ptr<RecordingDelegate>& delegate)
    {
        port->close();
        EXPECT_TRUE(runUntil([&] { return !port->isOpen() && delegate->count("closed") == 1; }));
    }
};

Bytes pattern(std::size_t size, std::size_t seed)
{
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>((seed * 131 + i * 7 + i / 251) % 256);
    }
    return bytes;
}

bool sameAttributes(const termios& a, const termios& b)
{
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag && a.c_lflag == b.c_lflag &&
           ::cfgetispeed(&a) == ::cfgetispeed(&b) && ::cfgetospeed(&a) == ::cfgetospeed(&b);
}

}  // namespace

TEST_F(PortIOTest, AStalledDeviceQueuesInOrderRefusesWholeSendsOnceReportedAndGetsEveryQueuedByte)
{
    PseudoTerminal pty;
    auto delegate = std::make_shared<RecordingDelegate>();
    auto port = openPort(pty, delegate);
    ASSERT_TRUE(port);

    // Were sendData to block, this loop would never end: nobody reads yet.
    constexpr std::size_t kChunk = 4096;
    Bytes accepted;
    std::size_t refusals = 0;
    for (std::size_t k = 0; refusals < 3 && k < 2 * VELSerialPort::kMaximumQueuedOutputBytes / kChunk; ++k) {
        const Bytes chunk = pattern(kChunk, k);
        if (port->sendData(chunk)) {
            ASSERT_EQ(refusals, 0u) << "a send accepted after one was refused";
            accepted.insert(accepted.end(), chunk.begin(), chunk.end());
        } else {
            ++refusals;
        }
    }
    ASSERT_EQ(refusals, 3u);
    const std::size_t queued = port->queuedOutputByteCount();
    EXPECT_GT(queued, VELSerialPort::kMaximumQueuedOutputBytes - kChunk);
    EXPECT_LE(queued, VELSerialPort::kMaximumQueuedOutputBytes);
    EXPECT_FALSE(port->sendData(pattern(VELSerialPort::kMaximumQueuedOutputBytes + 1, 0)));

    runFor(std::chrono::milliseconds(100));
    ASSERT_EQ(delegate->errors().size(), 1u) << "one report per episode, not per refused send";
    EXPECT_EQ(delegate->errors()[0].code(), ENOBUFS);

    // The device reads again: everything accepted arrives, in order, and the
    // queue takes sends again.
    EXPECT_EQ(readRunning(pty, accepted.size(), std::chrono::seconds(60)), accepted);
    EXPECT_TRUE(runUntil([&] { return port->queuedOutputByteCount() == 0; }));
    const Bytes after = pattern(100, 9);
    EXPECT_TRUE(port->sendData(after));
    EXPECT_EQ(readRunning(pty, after.size()), after);
    EXPECT_EQ(delegate->errors().size(), 1u);
    closeAndWait(port, delegate);
}

TEST_F(PortIOTest, ASendIfIdleTakesNothingWhileEarlierBytesAreHeldAndWholeOnceTheLineIsFree)
{
    PseudoTerminal pty;
    auto delegate = std::make_shared<RecordingDelegate>();
    auto port = openPort(pty, delegate);
    ASSERT_TRUE(port);

    // Output held, as flow control holds it: what is sent stays behind.
    ASSERT_EQ(::tcflow(pty.slave(), TCOOFF), 0);
    const Bytes held = pattern(64, 1);
    ASSERT_TRUE(port->sendData(held));
    const Bytes stale = pattern(43, 2);
    EXPECT_FALSE(port->sendDataIfIdle(stale));
    EXPECT_FALSE(port->sendDataIfIdle(stale));

    ASSERT_EQ(::tcflow(pty.slave(), TCOON), 0);
    EXPECT_EQ(readRunning(pty, held.size()), held);
    EXPECT_TRUE(runUntil([&] { return port->queuedOutputByteCount() == 0; }));
    const Bytes fresh = pattern(43, 3);
    EXPECT_TRUE(port->sendDataIfIdle(fresh));
    // Only the fresh bytes follow: the refused ones were never taken.
    EXPECT_EQ(readRunning(pty, fresh.size()), fresh);
    EXPECT_TRUE(readRunning(pty, 1, std::chrono::milliseconds(100)).empty());
    EXPECT_TRUE(delegate->errors().empty()) << "a busy line is no error";
    closeAndWait(port, delegate);
    EXPECT_FALSE(port->sendDataIfIdle(fresh));
}

TEST_F(PortIOTest, AMebibyteSentRightAfterOpenArrivesWhole)
{
    PseudoTerminal pty;
    auto port = VELSerialPort::initWithPath(pty.path());
    ASSERT_TRUE(port);
    auto delegate = std::make_shared<RecordingDelegate>();
    port->setDelegate(delegate);
    port->open();
    // Straight away, while the read source makes its first wait.
    const Bytes large = pattern(VELSerialPort::kMaximumQueuedOutputBytes, 1);
    EXPECT_TRUE(port->sendData(large));
    EXPECT_EQ(readRunning(pty, large.size(), std::chrono::seconds(60)), large);
    runFor(std::chrono::milliseconds(50));
    EXPECT_TRUE(delegate->errors().empty());
    closeAndWait(port, delegate);
}

// Root passes the terminal's exclusive flag, so as root (CI) the test runs
// again in a child that has dropped to nobody.
TEST_F(PortIOTest, ANormalUserOpensThePortAgainWhileTheDeviceStaysOpenElsewhere)
{
    if (test::runsAsRoot()) {
        EXPECT_EQ(test::runThisProgramAsNobody(
                      "--gtest_filter=PortIOTest.ANormalUserOpensThePortAgainWhileTheDeviceStaysOpenElsewhere"),
                  0);
        return;
    }
    PseudoTerminal pty;  // its master stays open throughout, as a socat or a clock's would
    auto delegate = std::make_shared<RecordingDelegate>();
    auto port = openPort(pty, delegate);
    ASSERT_TRUE(port);
    closeAndWait(port, delegate);
    EXPECT_EQ(test::openErrorAsNormalUser(pty.path()), 0);
    port->open();
    EXPECT_TRUE(runUntil([&] { return delegate->count("opened") == 2; }));
    EXPECT_TRUE(delegate->errors().empty());
    port->close();
    EXPECT_TRUE(runUntil([&] { return delegate->count("closed") == 2; }));
}

TEST_F(PortIOTest, CloseWithADeviceThatNeverReadsEndsWithinASecondAndRestoresTheAttributes)
{
    PseudoTerminal pty;
    const termios before = pty.attributes();
    auto delegate = std::make_shared<RecordingDelegate>();
    auto port = openPort(pty, delegate);
    ASSERT_TRUE(port);
    port->setUsesRTSCTSFlowControl(true);
    ASSERT_TRUE(runUntil([&] { return port->isOpen() && delegate->count("opened") == 2; }));
    ASSERT_TRUE(port->sendData(pattern(512 * 1024, 2)));
    ASSERT_GT(port->queuedOutputByteCount(), 0u);

    const auto start = Clock::now();
    port->close();
    ASSERT_TRUE(runUntil([&] { return !port->isOpen() && delegate->count("closed") == 2; }));
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1500));
    EXPECT_TRUE(sameAttributes(pty.attributes(), before));
    EXPECT_EQ(port->queuedOutputByteCount(), 0u);
    EXPECT_FALSE(port->sendData(Bytes{1}));
}

// The exit clean-up in a process of its own: the exit handlers must not
// wait for a device that never reads, and must put its attributes back.
// Timed up to the program's last exit handler: what a sanitizer does after
// that (ThreadSanitizer sleeps a second at exit) is not ours.
TEST(PortExitTest, ExitWithADeviceThatNeverReadsEndsWithinASecondAndRestoresTheAttributes)
{
    PseudoTerminal stalled;
    PseudoTerminal other;
    ASSERT_TRUE(test::handToNobody(stalled.path()));
    const termios before = stalled.attributes();
    const std::string command = std::string("timeout 60 '") + MANAGER_EXIT_PROGRAM + "' " + stalled.path() + " " +
                                other.path() + " stall";
    FILE* program = ::popen(command.c_str(), "r");
    ASSERT_TRUE(program);
    std::string output;
    char buffer[256];
    Clock::time_point returning{};
    Clock::time_point exited{};
    while (std::fgets(buffer, sizeof buffer, program)) {
        output += buffer;
        if (std::string(buffer) == "returning\n") {
            returning = Clock::now();
        } else if (std::string(buffer) == "exit handlers done\n") {
            exited = Clock::now();
        }
    }
    const int status = ::pclose(program);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << "\n" << output;
    ASSERT_NE(returning, Clock::time_point{}) << output;
    ASSERT_NE(exited, Clock::time_point{}) << output;
    EXPECT_LT(exited - returning, std::chrono::milliseconds(1500));
    EXPECT_TRUE(sameAttributes(stalled.attributes(), before));
    // The master is still open, so the terminal lives on: its exclusive
    // flag must be gone with the program.
    EXPECT_EQ(test::openErrorAsNormalUser(stalled.path()), 0);
}

TEST_F(PortIOTest, AMainThreadThatFallsBehindStopsTheReadingAndLaterGetsEveryByteInOrder)
{
    PseudoTerminal pty;
    auto delegate = std::make_shared<RecordingDelegate>();
    auto port = openPort(pty, delegate);
    ASSERT_TRUE(port);

    // The device writes until the terminal takes no more, says so once,
    // then goes on as the port reads.
    const Bytes sent = pattern(6 << 20, 3);
    ASSERT_EQ(::fcntl(pty.master(), F_SETFL, ::fcntl(pty.master(), F_GETFL) | O_NONBLOCK), 0);
    std::atomic<std::size_t> written{0};
    std::promise<void> stalled;
    std::thread device([&] {
        bool told = false;
        while (written < sent.size()) {
            const std::size_t size = std::min<std::size_t>(4096, sent.size() - written);
            const ssize_t n = ::write(pty.master(), sent.data() + written, size);
            if (n > 0) {
                written += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno != EAGAIN) {
                return;
            }
            if (!told) {
                told = true;
                stalled.set_value();
            }
            pollfd writable{pty.master(), POLLOUT, 0};
            ::poll(&writable, 1, 1000);
        }
    });

    // The main queue is not run: the port reads nothing, and the kernel
    // holds the device back.
    constexpr std::size_t kBound = VELSerialPort::kMaximumUndeliveredInputBytes;
    ASSERT_EQ(stalled.get_future().wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_LE(port->undeliveredInputByteCount(), kBound);
    EXPECT_LT(written.load(), sent.size()) << "the device wrote everything while nobody took the data";

    std::size_t peak = 0;
    const bool all = runUntil(
        [&] {
            peak = std::max(peak, port->undeliveredInputByteCount());
            return delegate->receivedBytes() >= sent.size();
        },
        std::chrono::seconds(60));
    device.join();
    ASSERT_TRUE(all) << delegate->receivedBytes() << " of " << sent.size();
    EXPECT_LE(peak, kBound);
    Bytes received;
    for (const auto& chunk : delegate->chunks()) {
        received.insert(received.end(), chunk.begin(), chunk.end());
    }
    EXPECT_TRUE(received == sent) << "bytes lost, repeated or out of order";
    EXPECT_FALSE(delegate->calledOffMainThread());
    closeAndWait(port, delegate);
}

namespace {

std::size_t threadCount()
{
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
        ++count;
    }
    return count;
}

}  // namespace

// Reading and writing happen on the main loop: an open port, idle or busy,
// costs no thread (a pseudo-terminal has no modem lines to watch either).
TEST_F(PortIOTest, AnOpenPortAddsNoThreadForReadingAndWriting)
{
    PseudoTerminal pty;
    auto port = VELSerialPort::initWithPath(pty.path());
    ASSERT_TRUE(port);
    auto delegate = std::make_shared<RecordingDelegate>();
    port->setDelegate(delegate);
    const std::size_t before = threadCount();

    port->open();
    ASSERT_TRUE(runUntil([&] { return delegate->count("opened") == 1; }));
    EXPECT_EQ(threadCount(), before);

    const Bytes in = pattern(10000, 4);
    pty.write(in);
    ASSERT_TRUE(runUntil([&] { return delegate->receivedBytes() == in.size(); }));
    const Bytes out = pattern(200 * 1024, 5);
    ASSERT_TRUE(port->sendData(out));
    EXPECT_EQ(readRunning(pty, out.size()), out);
    EXPECT_EQ(threadCount(), before);
    EXPECT_FALSE(delegate->calledOffMainThread());
    closeAndWait(port, delegate);
}
