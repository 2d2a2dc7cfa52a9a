#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <future>
#include <sys/file.h>
#include <sys/resource.h>
#include <thread>

#include "port/ArbitrarySpeed.h"
#include "SerialTestSupport.h"

using test::PseudoTerminal;
using test::RecordingDelegate;
using Callback = VELSerialPortDelegate::Callback;
using Bytes = std::vector<std::uint8_t>;

namespace {

class SerialPortTest : public test::MainQueueTest {
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

    // Until the close has completed and the delegate has heard of it: a
    // test that ended earlier would leave the port waiting for a main queue
    // that is gone.
    void closeAndWait(const std::shared_ptr<VELSerialPort>& port, const std::shared_ptr<RecordingDelegate>& delegate)
    {
        const auto closedBefore = delegate->count("closed");
        port->close();
        EXPECT_TRUE(runUntil([&] { return !port->isOpen() && delegate->count("closed") > closedBefore; }));
    }
};

double cpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace

TEST_F(SerialPortTest, AnUnlistedTerminalReachedThroughASymlinkIsTheSameObject)
{
    PseudoTerminal pty;
    const auto directory = std::filesystem::temp_directory_path() / ("vel-link-" + std::to_string(::getpid()));
    std::filesystem::create_directories(directory);
    const auto link = directory / "clock";
    std::filesystem::create_symlink(pty.path(), link);
    const auto viaLink = VELSerialPort::initWithPath(link.string());
    const auto direct = VELSerialPort::initWithPath(pty.path());
    std::filesystem::remove_all(directory);
    ASSERT_TRUE(viaLink);
    EXPECT_EQ(viaLink, direct);
    EXPECT_EQ(viaLink->path(), pty.path());
}

TEST_F(SerialPortTest, OneObjectPerDeviceKeepsSettingsUntilTheLastOwnerDropsIt)
{
    PseudoTerminal pty;
    auto first = VELSerialPort::initWithPath(pty.path());
    ASSERT_TRUE(first);
    first->setBaudRate(9600);
    EXPECT_EQ(VELSerialPort::serialPortWithPath(pty.path()), first);
    EXPECT_EQ(first->baudRate(), 9600u);

    // A device entry reached through another dial-in path is the same port:
    // identity goes by the callout path.
    auto viaDialin = std::make_shared<const vel::SerialDevice>(vel::SerialDevice::Properties{
        {vel::kIOCalloutDeviceKey, pty.path()}, {vel::kIODialinDeviceKey, "/dev/serial/by-id/some-clock"},
        {vel::kIOTTYDeviceKey, first->name()}});
    EXPECT_EQ(VELSerialPort::initWithDevice(viaDialin), first);
    EXPECT_EQ(first->baudRate(), 9600u);
    EXPECT_TRUE(first->isEqual(*VELSerialPort::existingPortWithPath(pty.path())));

    // Another device at the same path (the kernel reuses a freed
    // pseudo-terminal's path) gets a port of its own while the old one is
    // closed; the old object stays usable but unlisted.
    auto successor = std::make_shared<const vel::SerialDevice>(vel::SerialDevice::Properties{
        {vel::kIOCalloutDeviceKey, pty.path()}, {vel::kIOTTYDeviceKey, "successor0"}});
    auto second = VELSerialPort::initWithDevice(successor);
    ASSERT_TRUE(second);
    EXPECT_NE(second, first);
    EXPECT_EQ(second->name(), "successor0");
    EXPECT_EQ(VELSerialPort::existingPortWithPath(pty.path()), second);
    EXPECT_EQ(first->baudRate(), 9600u);
    second.reset();

    first.reset();
    EXPECT_FALSE(VELSerialPort::existingPortWithPath(pty.path()));
    auto fresh = VELSerialPort::initWithPath(pty.path());
    ASSERT_TRUE(fresh);
    EXPECT_EQ(fresh->baudRate(), 115200u);
}

TEST_F(SerialPortTest, ConstructionRefusesMissingDevicesAndPlainInit)
{
    EXPECT_FALSE(VELSerialPort::initWithPath(""));
    EXPECT_FALSE(VELSerialPort::initWithPath("/nonexistent/ttyNOPE0"));
    try {
        VELSerialPort::initWithDevice(nullptr);
        FAIL();
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "-[VELSerialPort initWithDevice:] requires non-zero device argument.");
    }
    EXPECT_THROW(VELSerialPort::init(), std::logic_error);
}

TEST_F(SerialPortTest, PortsBuiltAndDroppedOnManyThreadsStayOnePerDevice)
{
    PseudoTerminal pty;
    std::vector<std::thread> threads;
    std::atomic<int> mismatches{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 200; ++i) {
                auto a = VELSerialPort::initWithPath(pty.path());
                auto b = VELSerialPort::existingPortWithPath(pty.path());
                if (!a || !b || a != b) {
                    ++mismatches;
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(mismatches.load(), 0);
}

TEST_F(SerialPortTest, SettingsOnAClosedPortAreStoredAndAppliedOnOpen)
{
    PseudoTerminal pty;
    auto port = VELSerialPort::initWithPath(pty.path());
    ASSERT_TRUE(port);

    // PARODD set on the device survives parity none.
    termios before = pty.attributes();
    before.c_cflag |= PARODD;
    ::cfsetspeed(&before, B9600);
    ::tcsetattr(pty.master(), TCSANOW, &before);

    port->setParity(static_cast<VELSerialParity>(7));
    EXPECT_EQ(port->parity(), VELSerialParityNone);
    port->setNumberOfStopBits(2);
    port->setBaudRate(57600);
    // Nothing touched the closed device.
    const termios untouched = pty.attributes();
    EXPECT_EQ(::cfgetospeed(&before), ::cfgetospeed(&untouched));

    auto delegate = std::make_shared<RecordingDelegate>();
    port->setDelegate(delegate);
    port->open();
    ASSERT_TRUE(runUntil([&] { return delegate->count("opened") == 1; }));
    termios applied = pty.attributes();
    EXPECT_EQ(::cfgetospeed(&applied), static_cast<speed_t>(B57600));
    EXPECT_TRUE(applied.c_cflag & CSTOPB);
    EXPECT_FALSE(applied.c_cflag & PARENB);
    EXPECT_TRUE(applied.c_cflag & PARODD);
    EXPECT_EQ(applied.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_TRUE(applied.c_cflag & CREAD);
    EXPECT_TRUE(applied.c_cflag & CLOCAL);
    EXPECT_FALSE(applied.c_lflag & (ICANON | ISIG | ECHO));
    EXPECT_EQ(applied.c_cc[VMIN], 1);
    EXPECT_EQ(applied.c_cc[VTIME], 2);

    // Applied at once while open.
    for (std::size_t stopBits : {0u, 1u}) {
        port->setNumberOfStopBits(stopBits);
        EXPECT_FALSE(pty.attributes().c_cflag & CSTOPB) << stopBits;
    }
    // A pseudo-terminal always clears PARENB itself; PARODD shows the choice.
    port->setParity(VELSerialParityEven);
    EXPECT_FALSE(pty.attributes().c_cflag & PARODD);
    port->setParity(VELSerialParityOdd);
    EXPECT_TRUE(pty.attributes().c_cflag & PARODD);
    port->setShouldEchoReceivedData(true);
    EXPECT_TRUE(pty.attributes().c_lflag & ECHO);
    closeAndWait(port, delegate);
}

TEST_F(SerialPortTest, ClosingRestoresTheOriginalAttributes)
{
    PseudoTerminal pty;
    termios original = pty.attributes();
    ::cfsetspeed(&original, B2400);
    original.c_lflag |= ICANON;
    ::tcsetattr(pty.master(), TCSANOW, &original);

    auto delegate = std::make_shared<RecordingDelegate>();
    auto port = openPort(pty, delegate);
    ASSERT_TRUE(port);
    EXPECT_FALSE(pty.attributes().c_lflag & ICANON);
    closeAndWait(port, delegate);
    const termios restored = pty.attributes();
    EXPECT_EQ(::cfgetospeed(&restored), static_cast<speed_t>(B2400));
    EXPECT_TRUE(restored.c_lflag & ICANON);
}

TEST_F(SerialPortTest, FlowControlChangeOnAnOpenPortReopensWithCrtscts)
{
    PseudoTerminal pty;
    auto delegate = std::make_shared<RecordingDelegate>();
    auto port = openPort(pty, delegate);
    ASSERT_TRUE(port);

    port->setUsesRTSCTSFlowControl(true);
    EXPECT_TRUE(port->usesRTSCTSFlowControl());
    ASSERT_TRUE(runUntil([&] { return delegate->count("opened") == 2 && port->isOpen(); }));
    EXPECT_EQ(delegate->count("closed"), 1u);
    EXPECT_TRUE(pty.attributes().c_cflag & CRTSCTS);

    // Linux has no DTR/DSR flow control: kept, and reported as unsupported.
    port->setUsesDTRDSRFlowControl(true);
    ASSERT_TRUE(runUntil([&] { return delegate->count("opened") == 3; }));
    EXPECT_TRUE(port->usesDTRDSRFlowControl());
    const auto errors = delegate->errors();
    ASSERT_FALSE(errors.empty());
    EXPECT_EQ(errors.back().code(), ENOTSUP);
    closeAndWait(port, delegate);

    // On a closed port the setting is only stored.
    port->setUsesRTSCTSFlowControl(false);
    runFor(std::chrono::milliseconds(100));
    EXPECT_FALSE(port->isOpen());
    EXPECT_EQ(delegate->count("opened"), 3u);
}

TEST_F(SerialPortTest, ObserversOfIsOpenAreToldOnOpenAndClose)
{
    PseudoTerminal pty;
    auto port = VELSerialPort::initWithPath(pty.path());
    ASSERT_TRUE(port);
    std::mutex mutex;
    std::vector<bool> states;
    auto observation = port->addObserver("isOpen", [&](const vel::Change& change) {
        if (!change.isPrior) {
            std::lock_guard lock(mutex);
            states.push_back(port->isOpen());
        }
    });
    auto delegate = std::make_shared<RecordingDelegate>();
    port->setDelegate(delegate);
    port->open();
    ASSERT_TRUE(runUntil([&] { return delegate->count("opened") == 1; }));
    closeAndWait(port, delegate);
    std::lock_guard lock(mutex);
    EXPECT_EQ(states, (std::vector<bool>{true, false}));
}

TEST_F(SerialPortTest, OpenIsExclusiveAndReportsThePath)
{
    PseudoTerminal pty;
    vel::UniqueFd holder(::open(pty.path().c_str(), O_RDWR | O_NOCTTY));
    ASSERT_TRUE(holder);
    ASSERT_EQ(::flock(holder.get(), LOCK_EX | LOCK_NB), 0);

    auto port = VELSerialPort::initWithPath(pty.path());
    auto delegate = std::make_shared<RecordingDelegate>();
    port->setDelegate(delegate);
    port->open();  // on the main thread: the error is reported at once
    EXPECT_FALSE(port->isOpen());
    ASSERT_EQ(delegate->errors().size(), 1u);
    EXPECT_EQ(delegate->errors()[0].code(), EWOULDBLOCK);
    EXPECT_EQ(delegate->errors()[0].path(), pty.path());

    // And the other way round: while the port has it, a second opener fails.
    holder.reset();
    port->open();
    ASSERT_TRUE(runUntil([&] { return delegate->count("opened") == 1; }));
    vel::UniqueFd second(::open(pty.path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK));
    if (second) {
        EXPECT_NE(::flock(second.get(), LOCK_EX | LOCK_NB), 0);
    }
    port->open();  // already open: no second opened callback
    runFor(std::chrono::milliseconds(100));
    EXPECT_EQ(delegate->count("opened"), 1u);
    closeAndWait(port, delegate);
}

TEST_F(SerialPortTest, OpenedComesBeforeAnyDataAndARefusedSpeedStillOpens)
{
    PseudoTerminal pty;
    pty.write({'e', 'a', 'r', 'l', 'y'});  // already waiting when the port opens
    auto port = VELSerialPort::initWithPath(pty.path());
    auto delegate = std::make_shared<RecordingDelegate>();
    port->setDelegate(delegate);
    port->setBaudRate(123456);
    port->open();
    ASSERT_TRUE(runUntil([&] { return delegate->receivedBytes() == 5; }));
    const auto events = delegate->events();
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events[0], "error");
    EXPECT_EQ(events[1], "opened");
    EXPECT_EQ(delegate->errors()[0].code(), EINVAL);
    EXPECT_TRUE(port->isOpen());
    closeAndWait(port, delegate);

    // Allowed, the odd speed is set through termios2 and nothing is reported.
    port->setAllowsNonStandardBaudRates(true);
    port->open();
    ASSERT_TRUE(runUntil([&] { return delegate->count("opened") == 2; }));
    EXPECT_EQ(delegate->errors().size(), 1u);
    EXPECT_EQ(vel::readArbitrarySpeed(pty.master()), 123456u);
    closeAndWait(port, delegate);
}

TEST_F(SerialPortTest, ReceivedDataArrivesOnTheMainQueueInOrderInPiecesOfAtMost64KiB)
{
    PseudoTerminal pty;
    auto delegate = std::make_shared<RecordingDelegate>();
    auto port = openPort(pty, delegate);
    ASSERT_TRUE(port);
    Bytes sent(5000);
    for (std::size_t i = 0; i < sent.size(); ++i) {
        sent[i] = static_cast<std::uint8_t>(i * 7);
    }
    pty.write(sent);
    ASSERT_TRUE(runUntil([&] { return delegate->receivedBytes() == sent.size(); }));
    Bytes received;
    for (const auto& chunk : delegate->chunks()) {
        EXPECT_LE(chunk.size(), 64u * 1024);
        received.insert(received.end(), chunk.begin(), chunk.end());
    }
    EXPECT_EQ(received, sent);
    EXPECT_FALSE(delegate->calledOffMainThread());
    closeAndWait(port, delegate);
}

TEST_F(SerialPortTest, SendDataWritesEveryByteAndRefusesAClosedPortSilently)
{
    PseudoTerminal pty;
    auto port = VELSerialPort::initWithPath(pty.path());
    auto delegate = std::make_shared<RecordingDelegate>();
    port->setDelegate(delegate);
    const Bytes hello{'h', 'i'};
    EXPECT_FALSE(port->sendData(hello));
    EXPECT_TRUE(delegate->events().empty());

    port->open();
    ASSERT_TRUE(runUntil([&] { return delegate->count("opened") == 1; }));
    EXPECT_TRUE(port->sendData({}));

    // More than the terminal buffers: the device side reads while we write.
    Bytes large(256 * 1024);
    for (std::size_t i = 0; i < large.size(); ++i) {
        large[i] = static_cast<std::uint8_t>(i % 251);
    }
    EXPECT_TRUE(port->sendData(large));
    EXPECT_EQ(readRunning(pty, large.size()), large);
    EXPECT_TRUE(delegate->errors().empty());
    closeAndWait(port, delegate);
}

TEST_F(SerialPortTest, CloseReturnsBeforeTheCloseCompletes)
{
    PseudoTerminal pty;
    auto delegate = std::make_shared<RecordingDelegate>();
    auto port = openPort(pty, delegate);
    ASSERT_TRUE(port);

    // The close completes on a background thread, which here waits for the
    // test to say that close() has returned; were close() to wait for the
    // completion, the promise would never be kept.
    std::promise<void> closeReturned;
    auto returned = closeReturned.get_future().share();
    std::atomic<bool> completedAfterReturn{false};
    auto observation = port->addObserver("isOpen", [&](const vel::Change& change) {
        if (!change.isPrior && !port->isOpen()) {
            completedAfterReturn = returned.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
        }
    });
    EXPECT_TRUE(port->close());
    closeReturned.set_value();
    ASSERT_TRUE(runUntil([&] { return delegate->count("closed") == 1; }));
    EXPECT_TRUE(completedAfterReturn);
    EXPECT_TRUE(port->close());  // closed already: true, and nothing more
    runFor(std::chrono::milliseconds(50));
    EXPECT_EQ(delegate->count("closed"), 1u);
}

TEST_F(SerialPortTest, AVanishedDeviceIsCleanedUpOnceWithoutSpinning)
{
    PseudoTerminal pty;
    pty.closeSlave();
    auto delegate = std::make_shared<RecordingDelegate>();
    auto port = openPort(pty, delegate);
    ASSERT_TRUE(port);

    const double cpuBefore = cpuSeconds();
    pty.hangUp();
    ASSERT_TRUE(runUntil([&] { return delegate->count("closed") == 1; }));
    EXPECT_FALSE(port->isOpen());
    runFor(std::chrono::milliseconds(500));
    // A hang-up left alone keeps the descriptor readable for ever: a busy
    // loop would burn most of this half second.
    EXPECT_LT(cpuSeconds() - cpuBefore, 0.3);

    // When the modem-line poll notices first, its device-gone error (EIO on
    // a hung-up terminal) precedes the removal.
    auto events = delegate->events();
    if (events.size() == 4 && events[1] == "error") {
        EXPECT_EQ(delegate->errors().at(0).code(), EIO);
        events.erase(events.begin() + 1);
    }
    EXPECT_EQ(events, (std::vector<std::string>{"opened", "removed", "closed"}));
    EXPECT_FALSE(delegate->calledOffMainThread());
}

TEST_F(SerialPortTest, ADelegateWithoutOptionalCallbacksHearsOnlyOfTheRemoval)
{
    PseudoTerminal pty;
    pty.closeSlave();
    auto port = VELSerialPort::initWithPath(pty.path());
    auto delegate = std::make_shared<RecordingDelegate>(VELSerialPortDelegate::Callbacks{});
    port->setDelegate(delegate);
    port->open();
    ASSERT_TRUE(runUntil([&] { return port->isOpen(); }));
    pty.write({'x'});
    pty.hangUp();
    ASSERT_TRUE(runUntil([&] { return !port->isOpen(); }));
    runFor(std::chrono::milliseconds(100));
    EXPECT_EQ(delegate->events(), (std::vector<std::string>{"removed"}));
}

TEST_F(SerialPortTest, APseudoTerminalsMissingModemLinesAreNoErrorAndStopThePoll)
{
    PseudoTerminal pty;
    auto delegate = std::make_shared<RecordingDelegate>();
    delegate->keepNoModemLineErrors = true;
    auto port = openPort(pty, delegate);
    ASSERT_TRUE(port);
    runFor(std::chrono::milliseconds(300));  // thirty polls' worth
    EXPECT_TRUE(delegate->errors().empty());
    EXPECT_FALSE(port->hasModemLines());
    closeAndWait(port, delegate);
}

// A pseudo-terminal has no serial settings: asking for low latency there is
// no error, only unsupported, and the wish is kept for the next device.
TEST_F(SerialPortTest, LowLatencyOnADriverWithoutItIsUnsupportedNotAnError)
{
    PseudoTerminal pty;
    auto port = VELSerialPort::initWithPath(pty.path());
    ASSERT_TRUE(port);
    auto delegate = std::make_shared<RecordingDelegate>();
    port->setDelegate(delegate);
    EXPECT_FALSE(port->usesLowLatency());
    port->setUsesLowLatency(true);
    port->open();
    ASSERT_TRUE(runUntil([&] { return delegate->count("opened") == 1; }));
    port->setUsesLowLatency(false);
    port->setUsesLowLatency(true);
    runFor(std::chrono::milliseconds(50));
    EXPECT_FALSE(port->lowLatencyIsSupported());
    EXPECT_TRUE(port->usesLowLatency());
    EXPECT_TRUE(delegate->errors().empty());
    port->close();
    EXPECT_TRUE(runUntil([&] { return delegate->count("closed") == 1; }));
}
