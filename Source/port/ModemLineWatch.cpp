#include "port/ModemLineWatch.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <mutex>
#include <sys/ioctl.h>

namespace vel {

namespace {

void ignoreWake(int) {}

void installWakeHandler()
{
    static std::once_flag installed;
    std::call_once(installed, [] {
        struct sigaction action{};
        action.sa_handler = ignoreWake;
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0;  // no SA_RESTART: the wait must return EINTR
        ::sigaction(ModemLineWatch::wakeSignal(), &action, nullptr);
    });
}

bool refusedRequest(int error)
{
    return error == EINVAL || error == ENOTTY || error == ENOSYS || error == EOPNOTSUPP;
}

}  // namespace

int ModemLineWatch::wakeSignal()
{
    // Past the real-time signals that the C library and common runtimes take.
    return SIGRTMIN + 6;
}

ModemLineWatch::ModemLineWatch(int fd, Handlers handlers) : fd_(fd), handlers_(std::move(handlers))
{
    installWakeHandler();
    thread_ = std::thread([this] { run(); });
}

ModemLineWatch::~ModemLineWatch()
{
    stop();
}

void ModemLineWatch::run()
{
    struct MarkEnded {
        ModemLineWatch& watch;
        ~MarkEnded()
        {
            std::lock_guard lock(watch.mutex_);
            watch.running_ = false;
            watch.ended_.notify_all();
        }
    } markEnded{*this};

    bool first = true;
    while (!stopping_.load()) {
        int bits = 0;
        if (::ioctl(fd_, TIOCMGET, &bits) < 0) {
            const int error = errno;
            if (error == EINTR) {
                continue;
            }
            if (first && error == ENOTTY) {
                handlers_.onNoModemLines();
            } else {
                handlers_.onFailure(error);
            }
            return;
        }
        first = false;
        handlers_.onLines(bits);
        // A change between the TIOCMGET above and the wait below is seen
        // at the next change: the kernel counts changes from the call on.
        while (!stopping_.load()) {
            if (::ioctl(fd_, TIOCMIWAIT, TIOCM_CTS | TIOCM_DSR | TIOCM_CD) == 0) {
                break;
            }
            const int error = errno;
            if (error == EINTR) {
                continue;
            }
            if (refusedRequest(error)) {
                handlers_.onNoEvents();
            } else {
                handlers_.onFailure(error);
            }
            return;
        }
    }
}

void ModemLineWatch::stop()
{
    if (stopping_.exchange(true) || !thread_.joinable()) {
        return;
    }
    if (thread_.get_id() == std::this_thread::get_id()) {
        // Dropped by its own callback, against the rule above: joining would
        // deadlock, so let the thread go rather than hang.
        thread_.detach();
        return;
    }
    // A signal sent just before the thread enters its wait is lost, so send
    // it again until the thread has ended.
    std::unique_lock lock(mutex_);
    while (running_) {
        ::pthread_kill(thread_.native_handle(), wakeSignal());
        ended_.wait_for(lock, std::chrono::milliseconds(2));
    }
    lock.unlock();
    thread_.join();
}

}  // namespace vel
