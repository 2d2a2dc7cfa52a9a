#include "dispatch/TerminationSignals.h"

#include <cerrno>
#include <csignal>
#include <sys/signalfd.h>
#include <system_error>
#include <unistd.h>

namespace vel {

namespace {

sigset_t terminationSet()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    return set;
}

}  // namespace

bool TerminationSignals::blockInThisThread()
{
    const sigset_t set = terminationSet();
    const int error = ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
    if (error != 0) {
        errno = error;
        return false;
    }
    return true;
}

TerminationSignals::TerminationSignals(MainQueue& queue, std::function<void(int signal)> onSignal)
    : onSignal_(std::move(onSignal))
{
    const sigset_t set = terminationSet();
    fd_.reset(::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC));
    if (!fd_) {
        throw std::system_error(errno, std::generic_category(), "signalfd");
    }
    watch_ = queue.watchReadable(fd_.get(), [this] { readSignals(); });
}

TerminationSignals::~TerminationSignals()
{
    // The watch goes before the descriptor it watches.
    watch_.reset();
}

void TerminationSignals::readSignals()
{
    for (;;) {
        signalfd_siginfo info{};
        const ssize_t count = ::read(fd_.get(), &info, sizeof info);
        if (count != static_cast<ssize_t>(sizeof info)) {
            if (count < 0 && errno == EINTR) {
                continue;
            }
            return;  // EAGAIN: all taken.
        }
        if (onSignal_) {
            onSignal_(static_cast<int>(info.ssi_signo));
        }
    }
}

}  // namespace vel
