#pragma once

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <QByteArray>
#include <QDeadlineTimer>
#include <QTest>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "support/PseudoTerminal.h"
#include "VELSerialPort.h"
#include "devices/VirtualDeviceRegistry.h"

// A listed virtual serial device whose other end the test plays: what a port
// writes is read here, and what the device says is written here. Its master
// is non-blocking, so a test that goes wrong waits out its deadline instead
// of hanging.
class DevicePlayer {
public:
    explicit DevicePlayer(const std::string& baseName = "testdev")
        : device_(vel::VirtualDeviceRegistry::shared().createDevice(baseName))
    {
        const int fd = device_->masterFd();
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        watch(device_->path());
    }

    // The system hands a freed pseudo-terminal path to the next one it
    // makes, and a port object still alive for that path would stand for
    // the new device as well. Tests wait, between them, until the ports of
    // the paths they used are gone; a port that never goes is a leak.
    static void watch(const std::string& path) { watchedPaths().push_back(path); }
    static bool portsOfWatchedPathsAreGone()
    {
        const bool gone = QTest::qWaitFor(
            [] {
                for (const std::string& path : watchedPaths()) {
                    if (VELSerialPort::existingPortWithPath(path)) {
                        return false;
                    }
                }
                return true;
            },
            10000);
        watchedPaths().clear();
        return gone;
    }

    ~DevicePlayer() { unplug(); }

    DevicePlayer(const DevicePlayer&) = delete;
    DevicePlayer& operator=(const DevicePlayer&) = delete;

    const std::string& path() const { return device_->path(); }
    std::string name() const { return device_->name(); }
    int masterFd() const { return device_->masterFd(); }

    // What a port wrote: `count` bytes, or fewer if they did not come within
    // ten seconds. The event loop runs meanwhile.
    QByteArray take(qsizetype count) { return reader_.take(count); }
    // Whatever the port has written so far, without waiting.
    QByteArray takeAvailable() { return reader_.takeAll(); }

    // Says `bytes` to the port, all of them unless ten seconds pass.
    bool write(const QByteArray& bytes)
    {
        const QDeadlineTimer deadline(10000);
        qsizetype written = 0;
        while (written < bytes.size() && !deadline.hasExpired()) {
            const ssize_t n = ::write(masterFd(), bytes.constData() + written,
                                      static_cast<std::size_t>(bytes.size() - written));
            if (n > 0) {
                written += n;
            } else {
                QTest::qWait(5);
            }
        }
        return written == bytes.size();
    }

    // Takes the device out of the list and hangs up on the port, as pulling
    // the plug does.
    void unplug()
    {
        if (device_) {
            vel::VirtualDeviceRegistry::shared().removeDevice(device_);
            device_->closeMaster();
            device_.reset();
        }
    }

private:
    static std::vector<std::string>& watchedPaths()
    {
        static std::vector<std::string> paths;
        return paths;
    }

    std::shared_ptr<vel::VirtualDevice> device_;
    test::MasterReader reader_{device_->masterFd()};
};
