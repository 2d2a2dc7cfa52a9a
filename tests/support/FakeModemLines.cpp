// A fake driver's modem lines, preloaded into a test process (LD_PRELOAD):
// a pseudo-terminal has no modem lines (TIOCMGET fails with ENOTTY) and no
// line events, so a test of the port's TIOCMIWAIT watch cannot run on the
// real thing. This library interposes ioctl(2) and answers TIOCMGET and
// TIOCMIWAIT itself, the way a UART driver does, for one device only (the
// pseudo-terminal the test attaches); every other call and every other
// descriptor goes to the real ioctl.
//
// Like the kernel's, the fake wait sleeps until a line changes, fails with
// EIO once the device has gone, and returns EINTR when a signal interrupts
// it.
#include "FakeModemLines.h"

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <dlfcn.h>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Fake {
    std::mutex mutex;
    bool attached = false;
    dev_t device = 0;
    int bits = 0;
    bool eventsRefused = false;
    bool gone = false;
    unsigned long generation = 0;
    int changed[2] = {-1, -1};  // a pipe: a byte per change wakes the waiter
    std::atomic<int> waiters{0};
    std::atomic<long> reads{0};
};

Fake& fake()
{
    static Fake* instance = new Fake;  // never destroyed: threads may still call in at exit
    return *instance;
}

using IoctlFunction = int (*)(int, unsigned long, ...);

IoctlFunction realIoctl()
{
    static const auto real = reinterpret_cast<IoctlFunction>(::dlsym(RTLD_NEXT, "ioctl"));
    return real;
}

bool isFakedDevice(int fd)
{
    Fake& f = fake();
    std::lock_guard lock(f.mutex);
    struct stat status{};
    return f.attached && ::fstat(fd, &status) == 0 && S_ISCHR(status.st_mode) && status.st_rdev == f.device;
}

int failWith(int error)
{
    errno = error;
    return -1;
}

int waitForChange()
{
    Fake& f = fake();
    std::unique_lock lock(f.mutex);
    if (f.eventsRefused) {
        return failWith(EINVAL);
    }
    const unsigned long start = f.generation;
    ++f.waiters;
    struct Leave {
        Fake& f;
        ~Leave() { --f.waiters; }
    } leave{f};
    for (;;) {
        if (f.gone) {
            return failWith(EIO);
        }
        if (f.generation != start) {
            return 0;
        }
        lock.unlock();
        pollfd changed{f.changed[0], POLLIN, 0};
        if (::poll(&changed, 1, -1) < 0 && errno == EINTR) {
            return failWith(EINTR);
        }
        char drained[64];
        while (::read(f.changed[0], drained, sizeof drained) > 0) {
        }
        lock.lock();
    }
}

void wakeWaiter()
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(fake().changed[1], &byte, 1);
}

}  // namespace

extern "C" {

int ioctl(int fd, unsigned long request, ...) noexcept
{
    va_list arguments;
    va_start(arguments, request);
    void* argument = va_arg(arguments, void*);
    va_end(arguments);
    if ((request == TIOCMGET || request == TIOCMIWAIT) && isFakedDevice(fd)) {
        if (request == TIOCMIWAIT) {
            return waitForChange();
        }
        Fake& f = fake();
        std::lock_guard lock(f.mutex);
        ++f.reads;
        if (f.gone) {
            return failWith(EIO);
        }
        *static_cast<int*>(argument) = f.bits;
        return 0;
    }
    return realIoctl()(fd, request, argument);
}

void fakeModemLinesAttach(dev_t device, int bits, int eventsRefused)
{
    Fake& f = fake();
    std::lock_guard lock(f.mutex);
    if (f.changed[0] < 0) {
        ::pipe2(f.changed, O_CLOEXEC | O_NONBLOCK);
    }
    f.attached = true;
    f.device = device;
    f.bits = bits;
    f.eventsRefused = eventsRefused != 0;
    f.gone = false;
}

void fakeModemLinesSet(int bits)
{
    {
        Fake& f = fake();
        std::lock_guard lock(f.mutex);
        f.bits = bits;
        ++f.generation;
    }
    wakeWaiter();
}

void fakeModemLinesRemove()
{
    {
        Fake& f = fake();
        std::lock_guard lock(f.mutex);
        f.gone = true;
    }
    wakeWaiter();
}

int fakeModemLinesWaiters()
{
    return fake().waiters.load();
}

long fakeModemLinesReads()
{
    return fake().reads.load();
}
}
