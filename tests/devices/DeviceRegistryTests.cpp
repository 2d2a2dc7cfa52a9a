#include <gtest/gtest.h>

#include <fcntl.h>
#include <libudev.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "dispatch/AsioMainQueue.h"
#include "devices/SystemDeviceRegistry.h"
#include "devices/UdevDeviceRegistry.h"
#include "support/PseudoTerminal.h"
#include "support/UniqueFd.h"
#include "devices/VirtualDeviceRegistry.h"

using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

std::string property(const vel::DeviceHandle& device, const char* key)
{
    return device ? device->property(key).value_or("<none>") : "<null device>";
}

std::string names(const vel::DeviceRegistry::Batch& batch)
{
    std::string text;
    for (const auto& device : batch) {
        text += (text.empty() ? "" : " ") + property(device, vel::kIOTTYDeviceKey);
    }
    return text;
}

// Every batch a subscription delivers, as "+name name" for arrivals and
// "-name" for removals.
class Recorder {
public:
    Recorder(vel::DeviceRegistry& registry, vel::MainQueue& queue)
        : subscription_(registry.subscribe(queue, {[this](const auto& batch) { log.push_back("+" + names(batch)); },
                                                   [this](const auto& batch) { log.push_back("-" + names(batch)); }}))
    {
    }

    void end() { subscription_.reset(); }

    std::vector<std::string> log;

private:
    std::unique_ptr<vel::RegistrySubscription> subscription_;
};

// Writes everything to `from`, then reads exactly as many bytes from `to`,
// waiting generously for them.
std::string pass(int from, int to, const std::string& bytes)
{
    EXPECT_EQ(::write(from, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    std::string received;
    const auto end = std::chrono::steady_clock::now() + 10s;
    while (received.size() < bytes.size() && std::chrono::steady_clock::now() < end) {
        pollfd readable{to, POLLIN, 0};
        if (::poll(&readable, 1, 100) == 1 && (readable.revents & POLLIN)) {
            char buffer[256];
            const ssize_t count = ::read(to, buffer, sizeof buffer);
            if (count <= 0) {
                break;
            }
            received.append(buffer, static_cast<std::size_t>(count));
        }
    }
    return received;
}

bool isCharacterDevice(const std::string& path)
{
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISCHR(status.st_mode);
}

// A scratch directory, removed with everything in it.
struct ScratchDirectory {
    ScratchDirectory()
    {
        std::string pattern = (fs::temp_directory_path() / "registry-XXXXXX").string();
        path = ::mkdtemp(pattern.data());
    }
    ~ScratchDirectory() { fs::remove_all(path); }
    fs::path path;
};

}  // namespace

TEST(VirtualDeviceRegistry, DeviceIsARawTerminalListedWithTheSixKeys)
{
    vel::VirtualDeviceRegistry registry;
    const auto first = registry.createDevice("vclock");
    const auto second = registry.createDevice("vclock");
    const auto& device = first->device();

    EXPECT_EQ(property(device, vel::kIOCalloutDeviceKey), first->path());
    EXPECT_EQ(property(device, vel::kIODialinDeviceKey), first->path());
    EXPECT_EQ(property(device, vel::kIOTTYBaseNameKey), "vclock");
    const std::string suffix = property(device, vel::kIOTTYSuffixKey);
    EXPECT_FALSE(suffix.empty());
    EXPECT_EQ(suffix.find_first_not_of("0123456789"), std::string::npos) << suffix;
    EXPECT_EQ(property(device, vel::kIOTTYDeviceKey), "vclock" + suffix);
    EXPECT_EQ(first->name(), "vclock" + suffix);
    EXPECT_EQ(property(device, vel::kIOSerialBSDClientTypeKey), "IOSerialStream");
    EXPECT_EQ(property(device, vel::kPseudoTerminalKey), "yes");
    EXPECT_NE(first->name(), second->name());
    EXPECT_NE(first->path(), second->path());
    EXPECT_EQ(registry.enumerate(), (std::vector<vel::DeviceHandle>{first->device(), second->device()}));

    ASSERT_TRUE(first->path().starts_with("/dev/pts/")) << first->path();
    ASSERT_TRUE(isCharacterDevice(first->path()));
    vel::UniqueFd slave(::open(first->path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    ASSERT_TRUE(slave);
    EXPECT_TRUE(::isatty(slave.get()));

    // Line endings, control characters and high bytes pass unchanged, and
    // nothing is echoed back to the side that wrote.
    std::string bytes;
    for (int value = 0; value < 256; ++value) {
        bytes.push_back(static_cast<char>(value));
    }
    bytes += "\r\n\n\r";
    EXPECT_EQ(pass(first->masterFd(), slave.get(), bytes), bytes);
    EXPECT_EQ(pass(slave.get(), first->masterFd(), bytes), bytes);
    EXPECT_EQ(pass(first->masterFd(), slave.get(), "reply"), "reply");
}

TEST(VirtualDeviceRegistry, ANameComesBackOnlyWhenAskedForAndFree)
{
    vel::VirtualDeviceRegistry registry;
    auto first = registry.createDevice("vback");
    const std::string suffix = first->device()->property(vel::kIOTTYSuffixKey).value();
    // Taken while its device lives, in this registry or another.
    vel::VirtualDeviceRegistry other;
    EXPECT_THROW(other.createDevice("vback", suffix), std::system_error);
    registry.removeDevice(first);
    EXPECT_THROW(registry.createDevice("vback", suffix), std::system_error);
    first.reset();
    // Numbers go on: only asking gets the old name.
    const auto numbered = registry.createDevice("vback");
    EXPECT_NE(numbered->name(), "vback" + suffix);
    const auto again = registry.createDevice("vback", suffix);
    EXPECT_EQ(again->name(), "vback" + suffix);
    EXPECT_EQ(again->device()->property(vel::kIOTTYSuffixKey), suffix);
    EXPECT_EQ(registry.enumerate(), (std::vector<vel::DeviceHandle>{numbered->device(), again->device()}));
}

TEST(VirtualDeviceRegistry, CreatingAndRemovingAnnounceBatchesInOrder)
{
    vel::AsioMainQueue queue;
    vel::VirtualDeviceRegistry registry;
    Recorder recorder(registry, queue);

    auto pair = registry.createDevices({"va", "vb"});
    auto single = registry.createDevice("vc");
    registry.removeDevices({pair[0], single});
    registry.removeDevice(pair[0]);  // No longer listed: announces nothing.
    auto last = registry.createDevice("vd");

    const std::vector<std::string> expected{
        "+" + pair[0]->name() + " " + pair[1]->name(),
        "+" + single->name(),
        "-" + pair[0]->name() + " " + single->name(),
        "+" + last->name(),
    };
    EXPECT_TRUE(queue.runUntil([&] { return recorder.log.size() >= expected.size(); }, 10s));
    EXPECT_EQ(recorder.log, expected);
    EXPECT_EQ(registry.enumerate(), (std::vector<vel::DeviceHandle>{pair[1]->device(), last->device()}));
    EXPECT_EQ(registry.deviceWithPath(pair[0]->path()), nullptr);
    EXPECT_EQ(registry.deviceWithPath(pair[1]->path()), pair[1]->device());
}

TEST(VirtualDeviceRegistry, DroppingTheLastOwnerRemovesTheDeviceOnce)
{
    vel::AsioMainQueue queue;
    vel::VirtualDeviceRegistry registry;
    auto dropped = registry.createDevice("vdrop");
    auto removedFirst = registry.createDevice("vgone");
    const std::string droppedName = dropped->name();
    const std::string removedName = removedFirst->name();
    Recorder recorder(registry, queue);

    registry.removeDevice(removedFirst);
    removedFirst.reset();
    auto copy = dropped;
    dropped.reset();
    EXPECT_EQ(registry.enumerate().size(), 1u);  // The copy still owns it.
    copy.reset();
    EXPECT_TRUE(registry.enumerate().empty());
    auto marker = registry.createDevice("vmark");

    EXPECT_TRUE(queue.runUntil([&] { return recorder.log.size() >= 3; }, 10s));
    EXPECT_EQ(recorder.log, (std::vector<std::string>{"-" + removedName, "-" + droppedName, "+" + marker->name()}));
}

TEST(VirtualDeviceRegistry, EndedSubscriptionsGetNothingMoreEvenIfAlreadyPosted)
{
    vel::AsioMainQueue queue;
    vel::VirtualDeviceRegistry registry;
    Recorder ended(registry, queue);
    Recorder kept(registry, queue);
    // Ends its own subscription from inside its first callback.
    std::unique_ptr<vel::RegistrySubscription> own;
    int ownCalls = 0;
    own = registry.subscribe(queue, {[&](const auto&) {
                                         ++ownCalls;
                                         own.reset();
                                     },
                                     {}});

    auto device = registry.createDevice("vlate");
    ended.end();  // Its batch is posted but has not run yet.
    registry.removeDevice(device);

    EXPECT_TRUE(queue.runUntil([&] { return kept.log.size() >= 2; }, 10s));
    EXPECT_TRUE(ended.log.empty());
    EXPECT_EQ(kept.log, (std::vector<std::string>{"+" + device->name(), "-" + device->name()}));
    EXPECT_EQ(ownCalls, 1);
    EXPECT_EQ(own, nullptr);
}

TEST(VirtualDeviceRegistry, DevicesAndSubscriptionsMayOutliveTheRegistry)
{
    vel::AsioMainQueue queue;
    auto registry = std::make_unique<vel::VirtualDeviceRegistry>();
    auto device = registry->createDevice("vorphan");
    Recorder recorder(*registry, queue);
    const std::string path = device->path();
    registry.reset();

    EXPECT_TRUE(isCharacterDevice(path));
    device.reset();  // Would announce to a registry that is gone.
    recorder.end();
    EXPECT_FALSE(queue.runUntil([&] { return !recorder.log.empty(); }, 100ms));
}

TEST(VirtualDeviceRegistry, ChangesFromManyThreadsArriveInOrderUntilTheSubscriptionEnds)
{
    vel::AsioMainQueue queue;
    vel::VirtualDeviceRegistry registry;
    std::map<std::string, std::string> changes;  // name -> "+-" once arrived and removed
    std::size_t completed = 0;
    auto note = [&](const vel::DeviceRegistry::Batch& batch, char kind) {
        for (const auto& device : batch) {
            auto& seen = changes[property(device, vel::kIOTTYDeviceKey)];
            seen.push_back(kind);
            completed += seen == "+-";
        }
    };
    auto subscription = registry.subscribe(
        queue, {[&](const auto& batch) { note(batch, '+'); }, [&](const auto& batch) { note(batch, '-'); }});
    // Ended from another thread in the middle of the deliveries.
    std::atomic<bool> ended{false};
    std::atomic<int> calls{0};
    std::atomic<int> lateCalls{0};
    auto count = [&](const auto&) {
        ++calls;
        lateCalls += ended;
    };
    auto doomed = registry.subscribe(queue, {count, count});

    constexpr int threadCount = 4;
    constexpr int devicesPerThread = 25;
    std::vector<std::thread> threads;
    for (int t = 0; t < threadCount; ++t) {
        threads.emplace_back([&registry] {
            for (int i = 0; i < devicesPerThread; ++i) {
                registry.createDevice("vthread").reset();
            }
        });
    }
    threads.emplace_back([&] {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (calls < 10 && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::yield();
        }
        doomed.reset();  // Waits for a delivery in progress on the main thread.
        ended = true;
    });

    EXPECT_TRUE(queue.runUntil([&] { return completed == threadCount * devicesPerThread && ended; }, 10s));
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(changes.size(), static_cast<std::size_t>(threadCount * devicesPerThread));
    for (const auto& [name, seen] : changes) {
        EXPECT_EQ(seen, "+-") << name;
    }
    EXPECT_EQ(lateCalls, 0);
    EXPECT_TRUE(registry.enumerate().empty());
}

TEST(SystemDeviceRegistry, JoinsMachineAndVirtualDevicesInThatOrder)
{
    vel::AsioMainQueue queue;
    vel::VirtualDeviceRegistry machine;
    vel::VirtualDeviceRegistry virtualDevices;
    vel::SystemDeviceRegistry joined(machine, virtualDevices);
    Recorder recorder(joined, queue);

    auto virtualDevice = virtualDevices.createDevice("vsecond");
    auto machineDevice = machine.createDevice("vfirst");
    EXPECT_EQ(joined.enumerate(), (std::vector<vel::DeviceHandle>{machineDevice->device(), virtualDevice->device()}));
    EXPECT_EQ(joined.deviceWithPath(machineDevice->path()), machineDevice->device());
    EXPECT_EQ(joined.deviceWithPath(virtualDevice->path()), virtualDevice->device());
    EXPECT_TRUE(queue.runUntil([&] { return recorder.log.size() >= 2; }, 10s));
    EXPECT_EQ(recorder.log, (std::vector<std::string>{"+" + virtualDevice->name(), "+" + machineDevice->name()}));

    // One subscription ends both.
    recorder.end();
    machine.removeDevice(machineDevice);
    virtualDevices.removeDevice(virtualDevice);
    EXPECT_FALSE(queue.runUntil([&] { return recorder.log.size() > 2; }, 100ms));
}

TEST(SystemDeviceRegistry, FindsVirtualDevicesAndUnlistedTerminalsByPath)
{
    vel::AsioMainQueue queue;
    auto& system = vel::DeviceRegistry::system();
    Recorder recorder(system, queue);
    auto device = vel::VirtualDeviceRegistry::shared().createDevice("vsys");
    // A pseudo-terminal made without the registry, as socat would.
    const test::PseudoTerminal bare;
    ScratchDirectory scratch;
    const auto linkToVirtual = scratch.path / "clock";
    const auto linkToBare = scratch.path / "bare";
    fs::create_symlink(device->path(), linkToVirtual);
    fs::create_symlink(bare.path(), linkToBare);
    std::ofstream(scratch.path / "plain") << "not a terminal";

    EXPECT_EQ(system.deviceWithPath(device->path()), device->device());
    EXPECT_EQ(system.deviceWithPath(linkToVirtual.string()), device->device());
    const auto all = system.enumerate();
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(all.back(), device->device());
    EXPECT_TRUE(queue.runUntil([&] { return !recorder.log.empty(); }, 10s));
    EXPECT_EQ(recorder.log, std::vector<std::string>{"+" + device->name()});

    const auto found = system.deviceWithPath(bare.path());
    ASSERT_NE(found, nullptr);
    const std::string name = fs::path(bare.path()).filename().string();  // "3" for /dev/pts/3
    EXPECT_EQ(property(found, vel::kIOCalloutDeviceKey), bare.path());
    EXPECT_EQ(property(found, vel::kIODialinDeviceKey), bare.path());
    EXPECT_EQ(property(found, vel::kIOTTYDeviceKey), name);
    EXPECT_EQ(property(found, vel::kIOTTYBaseNameKey) + property(found, vel::kIOTTYSuffixKey), name);
    EXPECT_EQ(property(found, vel::kPseudoTerminalKey), "yes");
    EXPECT_EQ(property(found, vel::kIOSerialBSDClientTypeKey), "IOSerialStream");
    for (const auto& listed : system.enumerate()) {
        EXPECT_NE(property(listed, vel::kIOCalloutDeviceKey), bare.path());
    }
    // A link names the terminal it points to: one device, however named.
    EXPECT_EQ(property(system.deviceWithPath(linkToBare.string()), vel::kIOCalloutDeviceKey), bare.path());

    EXPECT_EQ(system.deviceWithPath((scratch.path / "plain").string()), nullptr);
    EXPECT_EQ(system.deviceWithPath((scratch.path / "missing").string()), nullptr);
    EXPECT_EQ(system.deviceWithPath(scratch.path.string()), nullptr);
    EXPECT_EQ(system.deviceWithPath("/dev/null"), nullptr);  // A character device, not a terminal.
    EXPECT_EQ(system.deviceWithPath(""), nullptr);
}

TEST(UdevDeviceRegistry, ListsWellFormedSerialDevicesOfThisMachine)
{
    vel::UdevDeviceRegistry registry;
    const auto devices = registry.enumerate();
    for (const auto& device : devices) {
        const std::string name = property(device, vel::kIOTTYDeviceKey);
        const std::string callout = property(device, vel::kIOCalloutDeviceKey);
        const std::string base = property(device, vel::kIOTTYBaseNameKey);
        const std::string suffix = property(device, vel::kIOTTYSuffixKey);
        SCOPED_TRACE(name);
        EXPECT_FALSE(name.empty());
        EXPECT_TRUE(callout.starts_with("/dev/")) << callout;
        EXPECT_TRUE(isCharacterDevice(callout)) << callout;
        EXPECT_TRUE(property(device, vel::kIODialinDeviceKey).starts_with("/dev/"));
        EXPECT_EQ(base + suffix, name);
        EXPECT_EQ(suffix.find_first_not_of("0123456789"), std::string::npos);
        EXPECT_TRUE(base.empty() || !std::isdigit(static_cast<unsigned char>(base.back())));
        EXPECT_EQ(property(device, vel::kIOSerialBSDClientTypeKey), "IOSerialStream");
        // Only ttys with a parent device, and never a port without a UART.
        EXPECT_TRUE(fs::exists("/sys/class/tty/" + name + "/device"));
        std::ifstream type("/sys/class/tty/" + name + "/type");
        int uart = -1;
        if (type >> uart) {
            EXPECT_NE(uart, 0);
        }
        const auto found = registry.deviceWithPath(callout);
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(found->properties(), device->properties());
    }
    // Consoles and /dev/tty are no serial devices.
    for (const char* path : {"/dev/tty", "/dev/console", "/dev/ptmx"}) {
        EXPECT_EQ(registry.deviceWithPath(path), nullptr) << path;
    }
}

namespace {

// A udev event built the way a udev RUN program receives one, from the
// environment. libudev writes into the environment's strings while it parses
// them, so it gets a private environment of its own.
class EnvironmentEvent {
public:
    explicit EnvironmentEvent(std::vector<std::string> variables) : variables_(std::move(variables))
    {
        variables_.push_back("SUBSYSTEM=tty");
        variables_.push_back("SEQNUM=1");
        std::vector<char*> environment;
        for (auto& variable : variables_) {
            environment.push_back(variable.data());
        }
        environment.push_back(nullptr);
        char** const saved = std::exchange(environ, environment.data());
        device_ = udev_device_new_from_environment(context_);
        environ = saved;
    }
    ~EnvironmentEvent()
    {
        udev_device_unref(device_);
        udev_unref(context_);
    }
    EnvironmentEvent(const EnvironmentEvent&) = delete;
    EnvironmentEvent& operator=(const EnvironmentEvent&) = delete;

    udev_device* get() const { return device_; }

private:
    std::vector<std::string> variables_;
    udev* context_ = udev_new();
    udev_device* device_ = nullptr;
};

}  // namespace

TEST(UdevDeviceRegistry, EventsBecomeArrivalsAndRemovalsOfSerialDevicesOnly)
{
    const std::string usb = "/devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/ttyUSB9/tty/ttyUSB9";
    EnvironmentEvent unplugged({"ACTION=remove", "DEVPATH=" + usb, "DEVNAME=/dev/ttyUSB9",
                                "DEVLINKS=/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0 "
                                "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"});
    ASSERT_NE(unplugged.get(), nullptr);
    const auto removal = vel::UdevDeviceRegistry::changeFromEvent(unplugged.get());
    ASSERT_TRUE(removal.has_value());
    EXPECT_FALSE(removal->first);
    EXPECT_EQ(removal->second->properties(),
              (vel::SerialDevice::Properties{
                  {"IOCalloutDevice", "/dev/ttyUSB9"},
                  {"IODialinDevice", "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"},
                  {"IOTTYDevice", "ttyUSB9"},
                  {"IOTTYBaseName", "ttyUSB"},
                  {"IOTTYSuffix", "9"},
                  {"IOSerialBSDClientType", "IOSerialStream"},
                  {"ByIdLink", "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"},
              }));

    // What users read, as udev's rules and hardware database set it.
    EnvironmentEvent described({"ACTION=remove", "DEVPATH=" + usb, "DEVNAME=/dev/ttyUSB9", "ID_VENDOR=FTDI",
                                "ID_VENDOR_FROM_DATABASE=Future Technology Devices International, Ltd",
                                "ID_MODEL=FT232R_USB_UART", "ID_SERIAL_SHORT=A50285BI", "ID_VENDOR_ID=0403",
                                "ID_MODEL_ID=6001"});
    const auto describedRemoval = vel::UdevDeviceRegistry::changeFromEvent(described.get());
    ASSERT_TRUE(describedRemoval.has_value());
    EXPECT_EQ(property(describedRemoval->second, vel::kVendorKey), "Future Technology Devices International, Ltd");
    EXPECT_EQ(property(describedRemoval->second, vel::kModelKey), "FT232R_USB_UART");
    EXPECT_EQ(property(describedRemoval->second, vel::kSerialNumberKey), "A50285BI");
    EXPECT_EQ(property(describedRemoval->second, vel::kUSBVendorProductKey), "0403:6001");
    EXPECT_FALSE(describedRemoval->second->property(vel::kByIdLinkKey).has_value());

    // Without links (no udev daemon) the dial-in path is the node.
    EnvironmentEvent bare({"ACTION=remove", "DEVPATH=" + usb, "DEVNAME=ttyUSB9"});
    const auto bareRemoval = vel::UdevDeviceRegistry::changeFromEvent(bare.get());
    ASSERT_TRUE(bareRemoval.has_value());
    EXPECT_EQ(property(bareRemoval->second, vel::kIODialinDeviceKey), "/dev/ttyUSB9");

    EnvironmentEvent console({"ACTION=remove", "DEVPATH=/devices/virtual/tty/tty5", "DEVNAME=tty5"});
    EXPECT_FALSE(vel::UdevDeviceRegistry::changeFromEvent(console.get()).has_value());
    EnvironmentEvent consoleAdded({"ACTION=add", "DEVPATH=/devices/virtual/tty/tty5", "DEVNAME=tty5"});
    EXPECT_FALSE(vel::UdevDeviceRegistry::changeFromEvent(consoleAdded.get()).has_value());
    EnvironmentEvent changed({"ACTION=change", "DEVPATH=" + usb, "DEVNAME=ttyUSB9"});
    EXPECT_FALSE(vel::UdevDeviceRegistry::changeFromEvent(changed.get()).has_value());

    // An arrival is judged in sysfs: a listed device of this machine, if any.
    const auto listed = vel::UdevDeviceRegistry().enumerate();
    if (!listed.empty()) {
        const std::string name = property(listed.front(), vel::kIOTTYDeviceKey);
        const std::string devpath = fs::canonical("/sys/class/tty/" + name).string().substr(4);
        EnvironmentEvent arrived({"ACTION=add", "DEVPATH=" + devpath, "DEVNAME=" + name});
        const auto arrival = vel::UdevDeviceRegistry::changeFromEvent(arrived.get());
        ASSERT_TRUE(arrival.has_value());
        EXPECT_TRUE(arrival->first);
        EXPECT_EQ(arrival->second->properties(), listed.front()->properties());
    }
}

TEST(UdevDeviceRegistry, WakeUpBatchesKeepTheOrderOfArrivalsAndRemovals)
{
    auto device = [](const std::string& name) {
        return vel::UdevDeviceRegistry::makeDevice("/dev/" + name, "/dev/" + name, name);
    };
    const auto a = device("ttyUSB0");
    const auto b = device("ttyACM1");
    const auto c = device("rfcomm");
    EXPECT_EQ(property(c, vel::kIOTTYBaseNameKey), "rfcomm");
    EXPECT_EQ(property(c, vel::kIOTTYSuffixKey), "");

    using Batches = std::vector<std::pair<bool, vel::DeviceRegistry::Batch>>;
    EXPECT_EQ(vel::UdevDeviceRegistry::batchesFromChanges({}), Batches{});
    // An unplug and replug at one wake-up must leave the device present.
    EXPECT_EQ(vel::UdevDeviceRegistry::batchesFromChanges({{true, a}, {true, b}, {false, a}, {true, a}, {false, c}}),
              (Batches{{true, {a, b}}, {false, {a}}, {true, {a}}, {false, {c}}}));
}
