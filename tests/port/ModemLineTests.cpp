// The port's modem lines on a driver that reports line changes. A
// pseudo-terminal has no modem lines, so these tests run with the fake
// driver lines of libfake_modem_lines.so preloaded (FakeModemLines.cpp):
// it answers TIOCMGET and TIOCMIWAIT for the test's pseudo-terminal only,
// and everything else (opening, reading, closing) is the real device.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

#include "SerialTestSupport.h"
#include "support/FakeModemLines.h"

using test::PseudoTerminal;
using test::RecordingDelegate;
using namespace std::chrono_literals;

namespace {

struct FakeControl {
    decltype(&fakeModemLinesAttach) attach = nullptr;
    decltype(&fakeModemLinesSet) set = nullptr;
    decltype(&fakeModemLinesRemove) remove = nullptr;
    decltype(&fakeModemLinesWaiters) waiters = nullptr;
    decltype(&fakeModemLinesReads) reads = nullptr;
};

FakeControl findFake()
{
    FakeControl c;
    c.attach = reinterpret_cast<decltype(c.attach)>(::dlsym(RTLD_DEFAULT, "fakeModemLinesAttach"));
    c.set = reinterpret_cast<decltype(c.set)>(::dlsym(RTLD_DEFAULT, "fakeModemLinesSet"));
    c.remove = reinterpret_cast<decltype(c.remove)>(::dlsym(RTLD_DEFAULT, "fakeModemLinesRemove"));
    c.waiters = reinterpret_cast<decltype(c.waiters)>(::dlsym(RTLD_DEFAULT, "fakeModemLinesWaiters"));
    c.reads = reinterpret_cast<decltype(c.reads)>(::dlsym(RTLD_DEFAULT, "fakeModemLinesReads"));
    return c;
}

class ModemLineTest : public test::MainQueueTest {
protected:
    void SetUp() override
    {
        MainQueueTest::SetUp();
        fake_ = findFake();
        ASSERT_TRUE(fake_.attach && fake_.set && fake_.remove && fake_.waiters && fake_.reads)
            << "run with LD_PRELOAD=libfake_modem_lines.so (ctest does)";
    }

    std::shared_ptr<VELSerialPort> openFaked(const PseudoTerminal& pty, const std::shared_ptr<RecordingDelegate>& delegate,
                                             int bits, bool eventsRefused)
    {
        struct stat status{};
        EXPECT_EQ(::stat(pty.path().c_str(), &status), 0);
        fake_.attach(status.st_rdev, bits, eventsRefused ? 1 : 0);
        auto port = VELSerialPort::initWithPath(pty.path());
        EXPECT_TRUE(port);
        if (port) {
            port->setDelegate(delegate);
            port->open();
            EXPECT_TRUE(runUntil([&] { return delegate->count("opened") == 1; }));
        }
        return port;
    }

    FakeControl fake_;
};

}  // namespace

TEST_F(ModemLineTest, LinesFollowChangesWithoutPollingAndCloseWakesTheWait)
{
    PseudoTerminal pty;
    auto delegate = std::make_shared<RecordingDelegate>();
    auto port = openFaked(pty, delegate, TIOCM_CTS, false);
    ASSERT_TRUE(port);
    ASSERT_TRUE(runUntil([&] { return port->CTS() && fake_.waiters() == 1; }));
    EXPECT_FALSE(port->DSR());
    EXPECT_TRUE(port->hasModemLines());

    // Asleep in the driver: no line is read while nothing changes (a 10 ms
    // poll would read thirty times here).
    const long reads = fake_.reads();
    runFor(300ms);
    EXPECT_EQ(fake_.reads(), reads);

    fake_.set(TIOCM_DSR | TIOCM_CAR);
    ASSERT_TRUE(runUntil([&] { return !port->CTS() && port->DSR() && port->DCD(); }));

    // Only a signal ends the wait; a close that did not send one would hang
    // here until the deadline.
    port->close();
    EXPECT_TRUE(runUntil([&] { return !port->isOpen() && delegate->count("closed") == 1; }));
    EXPECT_EQ(fake_.waiters(), 0);
    EXPECT_TRUE(delegate->errors().empty());
}

TEST_F(ModemLineTest, AWaitThatFailsAsDeviceGoneRemovesThePortOnce)
{
    PseudoTerminal pty;
    auto delegate = std::make_shared<RecordingDelegate>();
    auto port = openFaked(pty, delegate, 0, false);
    ASSERT_TRUE(port);
    ASSERT_TRUE(runUntil([&] { return fake_.waiters() == 1; }));
    fake_.remove();
    ASSERT_TRUE(runUntil([&] { return !port->isOpen() && delegate->count("closed") == 1; }));
    runFor(100ms);
    EXPECT_EQ(delegate->count("removed"), 1u);
    EXPECT_EQ(delegate->count("closed"), 1u);
    const auto errors = delegate->errors();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].code(), EIO);
}

TEST_F(ModemLineTest, ADriverWithoutLineEventsIsPolled)
{
    PseudoTerminal pty;
    auto delegate = std::make_shared<RecordingDelegate>();
    auto port = openFaked(pty, delegate, 0, true);
    ASSERT_TRUE(port);
    fake_.set(TIOCM_CTS);
    ASSERT_TRUE(runUntil([&] { return port->CTS(); }));
    EXPECT_EQ(fake_.waiters(), 0);
    port->close();
    EXPECT_TRUE(runUntil([&] { return !port->isOpen() && delegate->count("closed") == 1; }));
    EXPECT_TRUE(delegate->errors().empty());
}
