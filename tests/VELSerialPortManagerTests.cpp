#include <gtest/gtest.h>

#include <cstring>

#include <cstdio>
#include <filesystem>
#include <latch>
#include <set>
#include <sys/wait.h>
#include <thread>

#include "devices/DeviceRegistry.h"
#include "support/NotificationCenter.h"
#include "SerialTestSupport.h"
#include "VELSerialPortManager.h"
#include "devices/VirtualDeviceRegistry.h"

using test::PseudoTerminal;
using test::RecordingDelegate;
using Ports = VELSerialPortManager::Ports;

namespace {

vel::VirtualDeviceRegistry& registry()
{
    return vel::VirtualDeviceRegistry::shared();
}

bool lists(const VELSerialPortManager& manager, const std::string& path)
{
    const Ports ports = manager.availablePorts();
    return std::any_of(ports.begin(), ports.end(), [&](const auto& port) { return port->path() == path; });
}

// In order: the list's change notices (before each change) and the manager's
// notifications, each followed by what `witness` says at that moment.
class ManagerLog {
public:
    explicit ManagerLog(VELSerialPortManager& manager, std::function<std::string()> witness = {})
        : witness_(std::move(witness)),
          observation_(manager.addObserver("availablePorts", [this](const vel::Change& change) {
              static constexpr const char* kinds[] = {"set", "insert", "remove", "replace"};
              std::string entry = kinds[static_cast<int>(change.kind)];
              for (std::size_t index : change.indexes) {
                  entry += " " + std::to_string(index);
              }
              if (change.isPrior) {
                  add(entry);
              }
          }))
    {
        const std::pair<const char*, const char*> notifications[] = {
            {VELSerialPortsWereConnectedNotification, VELConnectedSerialPortsKey},
            {VELSerialPortsWereDisconnectedNotification, VELDisconnectedSerialPortsKey}};
        for (const auto& [name, key] : notifications) {
            auto record = [this, key = key](const vel::Notification& n) {
                announced.push_back(std::any_cast<Ports>(n.userInfo.at(key)));
                add(std::string(n.name == VELSerialPortsWereConnectedNotification ? "connected " : "disconnected ") +
                    std::to_string(announced.back().size()));
            };
            vel::NotificationCenter::defaultCenter().addObserver(this, name, &manager, record);
        }
    }
    ~ManagerLog() { vel::NotificationCenter::defaultCenter().removeObserver(this); }
    ManagerLog(const ManagerLog&) = delete;
    ManagerLog& operator=(const ManagerLog&) = delete;

    std::vector<std::string> entries;
    std::vector<Ports> announced;  // The ports each notification named.

private:
    void add(const std::string& entry) { entries.push_back(entry + (witness_ ? witness_() : "")); }

    std::function<std::string()> witness_;
    vel::Observation observation_;
};

// Logs "<name> opened" and "<name> closed" into a log shared by several ports.
class NamingDelegate : public VELSerialPortDelegate {
public:
    NamingDelegate(std::string name, std::vector<std::string>& log) : name_(std::move(name)), log_(log) {}
    Callbacks implementedCallbacks() const override { return {Callback::WasOpened, Callback::WasClosed}; }
    void serialPortWasRemovedFromSystem(const std::shared_ptr<VELSerialPort>&) override {}
    void serialPortWasOpened(const std::shared_ptr<VELSerialPort>&) override { log_.push_back(name_ + " opened"); }
    void serialPortWasClosed(const std::shared_ptr<VELSerialPort>&) override { log_.push_back(name_ + " closed"); }

private:
    std::string name_;
    std::vector<std::string>& log_;  // Main thread only, like the callbacks.
};

// The manager is process-wide: each test leaves it listing nothing of its own.
class PortManagerTest : public test::MainQueueTest {
protected:
    void SetUp() override
    {
        MainQueueTest::SetUp();
        manager_ = &VELSerialPortManager::sharedSerialPortManager();
    }

    void TearDown() override
    {
        registry().removeDevices(devices_);
        EXPECT_TRUE(runUntil([&] {
            return std::none_of(devices_.begin(), devices_.end(), [&](const auto& d) { return lists(d->path()); });
        }));
        devices_.clear();
    }

    // Created as one batch; returns once all are listed.
    std::vector<std::shared_ptr<vel::VirtualDevice>> createDevices(std::size_t count)
    {
        auto created = registry().createDevices(std::vector<std::string>(count, "vmgr"));
        devices_.insert(devices_.end(), created.begin(), created.end());
        EXPECT_TRUE(runUntil([&] {
            return std::all_of(created.begin(), created.end(), [&](const auto& d) { return lists(d->path()); });
        }));
        return created;
    }

    bool lists(const std::string& path) const { return ::lists(*manager_, path); }
    VELSerialPortManager& manager() { return *manager_; }

    std::vector<std::shared_ptr<vel::VirtualDevice>> devices_;

private:
    VELSerialPortManager* manager_ = nullptr;
};

}  // namespace

TEST_F(PortManagerTest, ArrivalsAreAppendedInOrderOnceEachAndAlwaysAnnounced)
{
    const std::size_t n = manager().countOfAvailablePorts();
    ManagerLog log(manager());
    const auto devices = createDevices(2);

    const Ports after = manager().availablePorts();
    ASSERT_EQ(after.size(), n + 2);
    EXPECT_EQ(after[n]->path(), devices[0]->path());
    EXPECT_EQ(after[n + 1]->path(), devices[1]->path());
    EXPECT_EQ(after[n]->name(), devices[0]->name());
    EXPECT_EQ(log.entries, (std::vector<std::string>{"insert " + std::to_string(n) + " " + std::to_string(n + 1),
                                                      "connected 2"}));
    EXPECT_EQ(log.announced.at(0), (Ports{after[n], after[n + 1]}));

    // Devices already listed are announced again but not added; a new one
    // among them is.
    PseudoTerminal pty;
    const auto unlisted = VELSerialPort::deviceFromBSDPath(pty.path());
    ASSERT_TRUE(unlisted);
    VELSerialPortManagerPortsPublishedNotificationCallback(&manager(), {devices[0]->device()});
    VELSerialPortManagerPortsPublishedNotificationCallback(&manager(),
                                                           {devices[1]->device(), unlisted, devices[0]->device()});
    ASSERT_EQ(log.announced.size(), 3u);
    EXPECT_TRUE(log.announced[1].empty());
    ASSERT_EQ(log.announced[2].size(), 1u);
    EXPECT_EQ(log.announced[2][0]->path(), pty.path());
    EXPECT_EQ(manager().countOfAvailablePorts(), n + 3);
    EXPECT_EQ(manager().objectInAvailablePortsAtIndex(n + 2), log.announced[2][0]);

    VELSerialPortManagerPortsTerminatedNotificationCallback(&manager(), {unlisted});
    EXPECT_FALSE(lists(pty.path()));
}

TEST_F(PortManagerTest, ARemovedPortInUseHearsFirstThenLeavesTheListAndIsAnnounced)
{
    const auto device = createDevices(1).front();
    auto port = VELSerialPort::initWithPath(device->path());
    const Ports before = manager().availablePorts();
    const auto index = std::find(before.begin(), before.end(), port) - before.begin();
    ASSERT_LT(static_cast<std::size_t>(index), before.size()) << "the listed port is the port in use";

    auto delegate = std::make_shared<RecordingDelegate>();
    port->setDelegate(delegate);
    port->open();
    ASSERT_TRUE(runUntil([&] { return delegate->count("opened") == 1; }));

    ManagerLog log(manager(), [&] {
        return std::string(delegate->count("removed") ? ", port told" : ", port not told") +
               (lists(device->path()) ? ", listed" : ", unlisted");
    });
    registry().removeDevice(device);
    ASSERT_TRUE(runUntil([&] { return delegate->count("closed") == 1; }));

    EXPECT_EQ(delegate->events(), (std::vector<std::string>{"opened", "removed", "closed"}));
    EXPECT_FALSE(port->isOpen());
    EXPECT_EQ(log.entries, (std::vector<std::string>{"remove " + std::to_string(index) + ", port told, listed",
                                                      "disconnected 1, port told, unlisted"}));
    EXPECT_EQ(log.announced.at(0), Ports{port});
}

// Whoever notices the removal first (the manager, the read source's hang-up,
// the modem-line poll) runs the clean-up; the others find it done.
TEST_F(PortManagerTest, UnpluggingAnOpenPortReportsRemovedThenClosedOnceEachHoweverItHappens)
{
    enum Unplug { Unlisted, MasterClosed, Both };
    for (int round = 0; round < 100; ++round) {
        const auto how = static_cast<Unplug>(round % 3);
        const auto device = createDevices(1).front();
        auto port = VELSerialPort::initWithPath(device->path());
        ASSERT_TRUE(port);
        auto delegate = std::make_shared<RecordingDelegate>();
        port->setDelegate(delegate);
        port->open();
        ASSERT_TRUE(runUntil([&] { return delegate->count("opened") == 1; }));
        if (how != MasterClosed) {
            registry().removeDevice(device);
        }
        if (how != Unlisted) {
            device->closeMaster();
        }
        ASSERT_TRUE(runUntil([&] {
            return delegate->count("closed") == 1 && lists(device->path()) == (how == MasterClosed);
        }));
        runFor(std::chrono::milliseconds(20));  // room for a late second report
        auto events = delegate->events();
        // A hung-up terminal's EIO, when the modem-line poll saw it first.
        std::erase(events, std::string("error"));
        EXPECT_EQ(events, (std::vector<std::string>{"opened", "removed", "closed"})) << "round " << round;
    }
}

TEST_F(PortManagerTest, SleepClosesOnlyOpenPortsAndWakeReopensThemInOrder)
{
    const auto devices = createDevices(3);
    std::vector<std::string> heard;
    Ports ports;
    std::vector<std::shared_ptr<NamingDelegate>> delegates;
    for (const char* name : {"a", "b", "c"}) {
        ports.push_back(VELSerialPort::initWithPath(devices[ports.size()]->path()));
        delegates.push_back(std::make_shared<NamingDelegate>(name, heard));
        ports.back()->setDelegate(delegates.back());
    }
    const auto a = ports[0];
    const auto b = ports[1];
    const auto c = ports[2];

    // Nothing open: nothing to remember, nothing to reopen.
    manager().systemWillSleep();
    EXPECT_TRUE(manager().portsToReopenAfterSleep().empty());
    manager().systemDidWake();
    runFor(std::chrono::milliseconds(200));
    EXPECT_TRUE(heard.empty());

    c->open();
    a->open();
    ASSERT_TRUE(runUntil([&] { return heard.size() == 2; }));
    heard.clear();

    // Remembered in the list's order, not the order of opening.
    manager().systemWillSleep();
    EXPECT_EQ(manager().portsToReopenAfterSleep(), (Ports{a, c}));
    ASSERT_TRUE(runUntil([&] { return heard.size() == 2; }));
    std::sort(heard.begin(), heard.end());
    EXPECT_EQ(heard, (std::vector<std::string>{"a closed", "c closed"}));
    heard.clear();

    manager().systemDidWake();
    EXPECT_TRUE(manager().portsToReopenAfterSleep().empty());
    ASSERT_TRUE(runUntil([&] { return heard.size() == 2; }));
    EXPECT_EQ(heard, (std::vector<std::string>{"a opened", "c opened"}));
    EXPECT_FALSE(b->isOpen());

    heard.clear();
    a->close();
    c->close();
    EXPECT_TRUE(runUntil([&] { return heard.size() == 2; }));
}

TEST_F(PortManagerTest, APortThatLeftDuringSleepIsStillSentOpenAtWake)
{
    const auto device = createDevices(1).front();
    const std::string path = device->path();
    // Holds the pseudo-terminal's number, so that no other terminal takes
    // the path once the device has gone.
    vel::UniqueFd holder(::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    ASSERT_TRUE(holder);
    auto port = VELSerialPort::initWithPath(path);
    auto delegate = std::make_shared<RecordingDelegate>();
    port->setDelegate(delegate);
    port->open();
    ASSERT_TRUE(runUntil([&] { return delegate->count("opened") == 1; }));

    manager().systemWillSleep();
    ASSERT_TRUE(runUntil([&] { return delegate->count("closed") == 1; }));
    device->closeMaster();  // Unplugged: the node goes.
    registry().removeDevice(device);
    ASSERT_TRUE(runUntil([&] { return !lists(path); }));
    EXPECT_EQ(manager().portsToReopenAfterSleep(), Ports{port});

    manager().systemDidWake();
    EXPECT_TRUE(manager().portsToReopenAfterSleep().empty());
    ASSERT_TRUE(runUntil([&] { return delegate->count("error") == 1; }));
    EXPECT_EQ(delegate->errors().front(), vel::PosixError(ENOENT, path));
    EXPECT_EQ(delegate->events(), (std::vector<std::string>{"opened", "closed", "removed", "error"}));
}

TEST_F(PortManagerTest, IndexedChangesPlacePortsAndTellObserversTheIndexes)
{
    const Ports before = manager().availablePorts();
    const std::size_t n = before.size();
    PseudoTerminal first, second;
    auto x = VELSerialPort::initWithPath(first.path());
    auto y = VELSerialPort::initWithPath(second.path());
    ManagerLog log(manager());

    // The i-th port goes to the i-th smallest index of the resulting list.
    manager().insertAvailablePortsAtIndexes({x, y}, {n + 1, 0});
    EXPECT_EQ(manager().objectInAvailablePortsAtIndex(0), x);
    EXPECT_EQ(manager().objectInAvailablePortsAtIndex(n + 1), y);

    EXPECT_THROW(manager().insertObjectInAvailablePortsAtIndex(x, n + 3), std::logic_error);
    EXPECT_THROW(manager().insertAvailablePortsAtIndexes({x, y}, {0}), std::logic_error);
    EXPECT_THROW(manager().removeObjectFromAvailablePortsAtIndex(n + 2), std::logic_error);
    EXPECT_THROW(manager().objectInAvailablePortsAtIndex(n + 2), std::logic_error);
    EXPECT_EQ(manager().countOfAvailablePorts(), n + 2);

    manager().removeAvailablePortsAtIndexes({n + 1, 0});
    EXPECT_EQ(manager().availablePorts(), before);
    manager().setAvailablePorts(before);
    EXPECT_EQ(log.entries, (std::vector<std::string>{"insert 0 " + std::to_string(n + 1),
                                                      "remove 0 " + std::to_string(n + 1), "replace"}));
}

TEST_F(PortManagerTest, ACallbackWithAForeignContextIsLoggedAndIgnored)
{
    const auto device = createDevices(1).front();
    auto port = VELSerialPort::initWithPath(device->path());
    auto delegate = std::make_shared<RecordingDelegate>();
    port->setDelegate(delegate);
    PseudoTerminal pty;
    const Ports before = manager().availablePorts();
    ManagerLog log(manager());

    int stranger = 0;
    testing::internal::CaptureStderr();
    VELSerialPortManagerPortsPublishedNotificationCallback(&stranger, {VELSerialPort::deviceFromBSDPath(pty.path())});
    VELSerialPortManagerPortsTerminatedNotificationCallback(nullptr, {device->device()});
    const std::string logged = testing::internal::GetCapturedStderr();

    EXPECT_EQ(manager().availablePorts(), before);
    EXPECT_TRUE(log.entries.empty());
    EXPECT_TRUE(delegate->events().empty());
    const auto printed = [](const void* context) {
        char text[32];
        std::snprintf(text, sizeof text, "%p", context);
        return std::string(text);
    };
    EXPECT_EQ(logged, "Unexpected context object " + printed(&stranger) +
                          " in void VELSerialPortManagerPortsPublishedNotificationCallback(void *, io_iterator_t). "
                          "Context object should be an instance of VELSerialPortManager\n"
                          "Unexpected context object " + printed(nullptr) +
                          " in void VELSerialPortManagerPortsTerminatedNotificationCallback(void *, io_iterator_t). "
                          "Context object should be an instance of VELSerialPortManager\n");
}

TEST_F(PortManagerTest, AtExitEveryListedPortIsCleanedUpAndTheListEmptied)
{
    PseudoTerminal opened;
    PseudoTerminal closed;
    // Changed by the port when it opens; the clean-up must put them back.
    termios original = opened.attributes();
    original.c_lflag |= ICANON;
    ::cfsetspeed(&original, B2400);
    ASSERT_EQ(::tcsetattr(opened.master(), TCSANOW, &original), 0);

    const std::string command =
        std::string("timeout 60 '") + MANAGER_EXIT_PROGRAM + "' " + opened.path() + " " + closed.path();
    FILE* program = ::popen(command.c_str(), "r");
    ASSERT_TRUE(program);
    std::string output;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, program)) {
        output += buffer;
    }
    const int status = ::pclose(program);

    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    // The close finishes on the exiting thread, which tells the delegate.
    const std::string& a = opened.path();
    EXPECT_EQ(output, a + " opened\n" + a + " removed\n" + a + " closed\n" + closed.path() + " removed\nlisted 0\n");
    const termios restored = opened.attributes();
    EXPECT_TRUE(restored.c_lflag & ICANON);
    EXPECT_EQ(::cfgetospeed(&restored), static_cast<speed_t>(B2400));
}

using FirstManagerCallTest = test::MainQueueTest;

TEST_F(FirstManagerCallTest, EveryCallerGetsTheOneManagerListingWhatTheRegistryLists)
{
    constexpr int kThreads = 4;
    std::latch start(kThreads + 1);
    std::vector<VELSerialPortManager*> seen(kThreads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            start.arrive_and_wait();
            seen[i] = &VELSerialPortManager::sharedSerialPortManager();
        });
    }
    start.arrive_and_wait();
    auto& manager = VELSerialPortManager::sharedSerialPortManager();
    for (auto& thread : threads) {
        thread.join();
    }
    for (auto* other : seen) {
        EXPECT_EQ(other, &manager);
    }

    // On a machine without serial devices both are empty.
    std::set<std::string> registered;
    for (const auto& device : vel::DeviceRegistry::system().enumerate()) {
        registered.insert(VELSerialPort::bsdCalloutPathFromDevice(device).value_or(""));
    }
    std::set<std::string> listed;
    for (const auto& port : manager.availablePorts()) {
        listed.insert(port->path());
        EXPECT_TRUE(port->path().starts_with("/dev/")) << port->path();
        EXPECT_TRUE(std::filesystem::exists(port->path())) << port->path();
        EXPECT_FALSE(port->name().empty()) << port->path();
    }
    EXPECT_EQ(listed, registered);
}

// Two ports open when the process exits, in a process of their own. Devices
// that vanish while the exit runs (the program closes both pseudo-terminal
// masters in an exit handler that runs before the library's) and an exit
// called from a worker thread, while the main loop still runs: either way
// every listed port hears of its removal, then of its close, quickly.
TEST(ManagerExitTest, EveryListedPortHearsRemovedThenClosedWhenDevicesVanishOrAWorkerExits)
{
    for (const std::string mode : {"vanish", "worker"}) {
        SCOPED_TRACE(mode);
        const std::string command = std::string("timeout 60 '") + MANAGER_EXIT_PROGRAM + "' own " + mode;
        FILE* program = ::popen(command.c_str(), "r");
        ASSERT_TRUE(program);
        std::vector<std::string> lines;
        std::chrono::steady_clock::time_point exiting{};
        std::chrono::steady_clock::time_point done{};
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, program)) {
            lines.emplace_back(buffer, std::strlen(buffer) - 1);
            if (lines.back() == "exiting") {
                exiting = std::chrono::steady_clock::now();
            } else if (lines.back() == "exit handlers done") {
                done = std::chrono::steady_clock::now();
            }
        }
        const int status = ::pclose(program);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        ASSERT_NE(exiting, std::chrono::steady_clock::time_point{});
        ASSERT_NE(done, std::chrono::steady_clock::time_point{});
        EXPECT_LT(done - exiting, std::chrono::milliseconds(300));
        std::vector<std::string> paths;
        for (const auto& line : lines) {
            if (line.starts_with("listing ")) {
                paths.push_back(line.substr(8));
            }
        }
        ASSERT_EQ(paths.size(), 2u);
        for (const auto& path : paths) {
            const auto at = [&](const std::string& event) {
                return std::find(lines.begin(), lines.end(), path + " " + event) - lines.begin();
            };
            const auto end = static_cast<std::ptrdiff_t>(lines.size());
            EXPECT_LT(at("removed"), end) << path;
            EXPECT_LT(at("closed"), end) << path;
            EXPECT_LT(at("removed"), at("closed")) << path;
        }
    }
}
