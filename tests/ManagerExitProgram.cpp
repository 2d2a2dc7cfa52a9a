// Run by the port manager's tests: lists two pseudo-terminals with the port
// manager and leaves with ports open, so that the library's exit clean-up
// has to close them. Prints what the ports' delegates and the list's
// observers hear, at exit too.
//
// Usage:
//   ManagerExitProgram <path to open> <path to leave closed> [stall]
//     Opens the first and returns from main. With "stall", it first queues
//     as much output as the port takes for the opened device (whose other
//     side nobody reads) and prints "returning".
//   ManagerExitProgram own vanish|worker
//     Makes two pseudo-terminals of its own (printing "listing <path>" for
//     each), opens both, then either returns from main with an exit handler
//     that runs before the library's and closes both masters, so that the
//     devices vanish during the exit ("vanish"), or calls exit from a worker
//     thread while the main loop runs on ("worker"). Prints "exiting" as
//     the exit begins.
// Except in the plain form, its last exit handler prints "exit handlers done".

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <pty.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "dispatch/AsioMainQueue.h"
#include "support/NoDestroy.h"
#include "VELSerialPort.h"
#include "VELSerialPortDelegate.h"
#include "VELSerialPortManager.h"

namespace {

void say(const std::string& line)
{
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

class PrintingDelegate : public VELSerialPortDelegate {
public:
    Callbacks implementedCallbacks() const override { return {Callback::WasOpened, Callback::WasClosed}; }
    void serialPortWasRemovedFromSystem(const std::shared_ptr<VELSerialPort>& port) override
    {
        say(port->path() + " removed");
    }
    void serialPortWasOpened(const std::shared_ptr<VELSerialPort>& port) override
    {
        say(port->path() + " opened");
        ++opened;
    }
    void serialPortWasClosed(const std::shared_ptr<VELSerialPort>& port) override { say(port->path() + " closed"); }

    int opened = 0;  // Main thread only.
};

// The masters of the program's own pseudo-terminals; closed by "vanish".
std::vector<int>& masters()
{
    static vel::NoDestroy<std::vector<int>> fds;
    return fds.get();
}

}  // namespace

int main(int argc, char** argv)
{
    const bool own = argc == 3 && std::string(argv[1]) == "own";
    const std::string mode = own ? argv[2] : (argc == 4 ? argv[3] : "");
    if ((argc != 3 && argc != 4) || (argc == 4 && mode != "stall") ||
        (own && mode != "vanish" && mode != "worker")) {
        std::fprintf(stderr, "usage: %s <path to open> <path to leave closed> [stall] | own vanish|worker\n",
                     argv[0]);
        return 2;
    }
    // Registered first, so it runs after the library's handlers: it marks
    // when they are done, apart from whatever a sanitizer does afterwards.
    if (!mode.empty()) {
        std::atexit([] { say("exit handlers done"); });
    }
    std::vector<std::string> paths;
    if (own) {
        for (int i = 0; i < 2; ++i) {
            int master = -1;
            int slave = -1;
            char name[128] = {};
            if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
                return 6;
            }
            ::close(slave);
            masters().push_back(master);
            paths.emplace_back(name);
            say(std::string("listing ") + name);
        }
    } else {
        paths = {argv[1], argv[2]};
    }

    auto queue = std::make_shared<vel::AsioMainQueue>();
    vel::MainQueue::setShared(queue);
    auto& manager = VELSerialPortManager::sharedSerialPortManager();
    VELSerialPortManagerPortsPublishedNotificationCallback(
        &manager, {VELSerialPort::deviceFromBSDPath(paths[0]), VELSerialPort::deviceFromBSDPath(paths[1])});

    // Both outlive main: the clean-up runs after it has returned.
    static vel::NoDestroy<std::shared_ptr<PrintingDelegate>> delegate(std::make_shared<PrintingDelegate>());
    static vel::NoDestroy<vel::Observation> listObserver(
        manager.addObserver("availablePorts", [&manager](const vel::Change& change) {
            if (!change.isPrior) {
                say("listed " + std::to_string(manager.countOfAvailablePorts()));
            }
        }));

    auto first = VELSerialPort::initWithPath(paths[0]);
    auto second = VELSerialPort::initWithPath(paths[1]);
    if (!first || !second) {
        return 3;
    }
    first->setDelegate(delegate.get());
    second->setDelegate(delegate.get());
    first->open();
    if (own) {
        second->open();
    }
    const int toOpen = own ? 2 : 1;
    if (!queue->runUntil([&] { return delegate.get()->opened == toOpen; }, std::chrono::seconds(10))) {
        return 4;
    }
    if (mode == "stall") {
        const std::vector<std::uint8_t> output(VELSerialPort::kMaximumQueuedOutputBytes, 'x');
        if (!first->sendData(output) || first->queuedOutputByteCount() == 0) {
            return 5;
        }
        say("returning");
    } else if (mode == "vanish") {
        // Registered after the library's handler (the first port made it),
        // so it runs before it.
        std::atexit([] {
            say("exiting");
            for (const int fd : masters()) {
                ::close(fd);
            }
        });
    } else if (mode == "worker") {
        std::thread([] {
            say("exiting");
            std::exit(0);
        }).detach();
        queue->run();
    }
    return 0;
}
