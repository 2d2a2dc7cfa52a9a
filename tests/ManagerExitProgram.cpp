// Run by the port manager's tests: lists two pseudo-terminals with the port
// manager, opens the first, and returns from main with it open, so that the
// manager's exit clean-up has to close it. Prints what the ports' delegates
// and the list's observers hear, at exit too.
//
// Usage: ManagerExitProgram <path to open> <path to leave closed> [stall]
// With "stall", it first queues as much output as the port takes for the
// opened device (whose other side nobody reads) and prints "returning".

#include <cstdio>
#include <memory>
#include <string>
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
        heardOpened = true;
    }
    void serialPortWasClosed(const std::shared_ptr<VELSerialPort>& port) override { say(port->path() + " closed"); }

    bool heardOpened = false;  // Main thread only.
};

}  // namespace

int main(int argc, char** argv)
{
    const bool stall = argc == 4 && std::string(argv[3]) == "stall";
    if (argc != 3 && !stall) {
        std::fprintf(stderr, "usage: %s <path to open> <path to leave closed> [stall]\n", argv[0]);
        return 2;
    }
    auto queue = std::make_shared<vel::AsioMainQueue>();
    vel::MainQueue::setShared(queue);
    auto& manager = VELSerialPortManager::sharedSerialPortManager();
    VELSerialPortManagerPortsPublishedNotificationCallback(
        &manager, {VELSerialPort::deviceFromBSDPath(argv[1]), VELSerialPort::deviceFromBSDPath(argv[2])});

    // Both outlive main: the clean-up runs after it has returned.
    static vel::NoDestroy<std::shared_ptr<PrintingDelegate>> delegate(std::make_shared<PrintingDelegate>());
    static vel::NoDestroy<vel::Observation> listObserver(
        manager.addObserver("availablePorts", [&manager](const vel::Change& change) {
            if (!change.isPrior) {
                say("listed " + std::to_string(manager.countOfAvailablePorts()));
            }
        }));

    auto opened = VELSerialPort::initWithPath(argv[1]);
    auto closed = VELSerialPort::initWithPath(argv[2]);
    if (!opened || !closed) {
        return 3;
    }
    opened->setDelegate(delegate.get());
    closed->setDelegate(delegate.get());
    opened->open();
    if (!queue->runUntil([&] { return delegate.get()->heardOpened; }, std::chrono::seconds(10))) {
        return 4;
    }
    if (stall) {
        const std::vector<std::uint8_t> output(VELSerialPort::kMaximumQueuedOutputBytes, 'x');
        if (!opened->sendData(output) || opened->queuedOutputByteCount() == 0) {
            return 5;
        }
        say("returning");
    }
    return 0;
}
