// halodial-ports: lists the serial ports that Halodial sees, and with
// --watch follows them as they come and go. No Qt: the serial library on its
// own main queue.

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "devices/SerialDevice.h"
#include "devices/VirtualDeviceRegistry.h"
#include "dispatch/AsioMainQueue.h"
#include "dispatch/TerminationSignals.h"
#include "support/NotificationCenter.h"
#include "VELSerialPort.h"
#include "VELSerialPortManager.h"

namespace {

constexpr const char* kUsage =
    "Usage: halodial-ports [--watch [--batches K]] [--virtual N]\n"
    "\n"
    "Prints the serial ports present (this computer's tty devices and Halodial's\n"
    "virtual ones), each with its device nodes and kernel names; the registry key\n"
    "that the serial library reads each value under is shown in brackets.\n"
    "\n"
    "  --watch      keep running and print each batch of arrivals and removals as\n"
    "               it happens; Ctrl-C ends\n"
    "  --batches K  with --watch: end after K batches\n"
    "  --virtual N  create N virtual serial devices (pseudo-terminals) for this run;\n"
    "               with --watch they arrive once watching has begun and leave again\n"
    "               once their arrival has been printed\n"
    "  --help       print this and exit\n"
    "  --version    print the version and exit\n";

struct Options {
    bool watch = false;
    long batches = 0;  // 0: no limit
    long virtualDevices = 0;
};

bool parseCount(const char* text, long& count)
{
    char* end = nullptr;
    count = std::strtol(text, &end, 10);
    return *text != '\0' && *end == '\0' && count >= 0;
}

// Exit status 2 for a usage error, 0 after --help, -1 to go on.
int parse(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (argument == "--version") {
            std::printf("halodial-ports %s\n", HALODIAL_VERSION);
            return 0;
        }
        if (argument == "--watch") {
            options.watch = true;
        } else if ((argument == "--virtual" || argument == "--batches") && i + 1 < argc) {
            long& count = argument == "--virtual" ? options.virtualDevices : options.batches;
            if (!parseCount(argv[++i], count)) {
                std::fprintf(stderr, "halodial-ports: %s needs a count, not \"%s\"\n", argv[i - 1], argv[i]);
                return 2;
            }
        } else {
            std::fprintf(stderr, "halodial-ports: unknown argument \"%s\"\n\n%s", argv[i], kUsage);
            return 2;
        }
    }
    return -1;
}

// Each value under what a Linux user calls it; the serial library's key
// follows in brackets, for matching the output against the library's calls.
void printPort(const VELSerialPort& port)
{
    struct Row {
        const char* heading;
        const char* key;
    };
    static constexpr Row rows[] = {{"Device node", vel::kIOCalloutDeviceKey},
                                   {"Dial-in node", vel::kIODialinDeviceKey},
                                   {"Kernel name", vel::kIOTTYDeviceKey},
                                   {"Base name", vel::kIOTTYBaseNameKey},
                                   {"Number", vel::kIOTTYSuffixKey},
                                   {"Type", vel::kIOSerialBSDClientTypeKey}};
    std::printf("%s\n", port.name().c_str());
    for (const Row& row : rows) {
        const auto value = VELSerialPort::stringPropertyOfForIOSerialKey(port.IOKitDevice(), row.key);
        std::printf("  %-13s %-22s  [registry key %s]\n", row.heading, value ? value->c_str() : "(none)", row.key);
    }
}

void printBatch(const char* what, const VELSerialPortManager::Ports& ports, bool withKeys)
{
    std::printf("%s (%zu):", what, ports.size());
    for (const auto& port : ports) {
        std::printf(" %s", port->name().c_str());
    }
    std::printf("\n");
    if (withKeys) {
        for (const auto& port : ports) {
            printPort(*port);
        }
    }
    std::fflush(stdout);
}

VELSerialPortManager::Ports portsIn(const vel::Notification& notification, const char* key)
{
    const auto it = notification.userInfo.find(key);
    if (it == notification.userInfo.end()) {
        return {};
    }
    return std::any_cast<VELSerialPortManager::Ports>(it->second);
}

std::vector<std::string> baseNames(long count)
{
    return std::vector<std::string>(static_cast<std::size_t>(count), "vtty");
}

// Follows the manager's notifications until a signal or the batch limit.
// The virtual devices make one round trip: created once watching runs,
// removed once their arrival has been printed.
int watch(vel::AsioMainQueue& main, VELSerialPortManager& manager, const Options& options)
{
    auto& registry = vel::VirtualDeviceRegistry::shared();
    std::vector<std::shared_ptr<vel::VirtualDevice>> devices;
    long seen = 0;
    auto counted = [&] {
        if (options.batches > 0 && ++seen >= options.batches) {
            main.stop();
        }
    };

    auto& center = vel::NotificationCenter::defaultCenter();
    center.addObserver(&manager, VELSerialPortsWereConnectedNotification, &manager, [&](const vel::Notification& n) {
        const auto ports = portsIn(n, VELConnectedSerialPortsKey);
        printBatch("arrived", ports, true);
        counted();
        if (!devices.empty() && !ports.empty()) {
            main.post([&] { registry.removeDevices(devices); });
        }
    });
    center.addObserver(&manager, VELSerialPortsWereDisconnectedNotification, &manager,
                       [&](const vel::Notification& n) {
                           printBatch("removed", portsIn(n, VELDisconnectedSerialPortsKey), false);
                           counted();
                       });

    // Ends the way the batch limit does, so that the exit clean-up runs.
    vel::TerminationSignals signals(main, [&](int) { main.stop(); });
    std::printf("Watching for arrivals and removals (Ctrl-C ends).\n");
    std::fflush(stdout);
    if (options.virtualDevices > 0) {
        main.post([&] { devices = registry.createDevices(baseNames(options.virtualDevices)); });
    }
    main.run();
    center.removeObserver(&manager);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    // Before any thread starts: a thread that does not block them would die
    // of them instead of letting the main queue hear of them.
    if (!vel::TerminationSignals::blockInThisThread()) {
        std::perror("halodial-ports: blocking the termination signals");
    }
    Options options;
    if (const int status = parse(argc, argv, options); status >= 0) {
        return status;
    }

    auto queue = std::make_shared<vel::AsioMainQueue>();
    vel::MainQueue::setShared(queue);

    std::vector<std::shared_ptr<vel::VirtualDevice>> devices;
    if (!options.watch && options.virtualDevices > 0) {
        devices = vel::VirtualDeviceRegistry::shared().createDevices(baseNames(options.virtualDevices));
    }

    auto& manager = VELSerialPortManager::sharedSerialPortManager();
    const auto ports = manager.availablePorts();
    std::printf("Serial ports present: %zu\n", ports.size());
    for (const auto& port : ports) {
        printPort(*port);
    }
    std::fflush(stdout);
    return options.watch ? watch(*queue, manager, options) : 0;
}
