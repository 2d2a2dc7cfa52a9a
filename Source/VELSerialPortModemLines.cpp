#include "VELSerialPort.h"

#include <cerrno>
#include <chrono>
#include <shared_mutex>
#include <sys/ioctl.h>

#include "dispatch/GlobalQueue.h"
#include "dispatch/TimerSource.h"
#include "port/ModemLineWatch.h"
#include "port/VELSerialPortOpening.h"
#include "support/Diagnostics.h"

// The modem input lines of an open port: watched by event where the driver
// reports changes, polled where it does not.

using vel::port::isDeviceGoneError;
using vel::port::runOnMainAndWait;

namespace {

constexpr auto kModemLinePollInterval = std::chrono::milliseconds(10);

}  // namespace

void VELSerialPort::startModemLineWatch(const std::shared_ptr<Opening>& opening)
{
    // A device without modem lines (a pseudo-terminal, the virtual clock)
    // says so at once: no thread is started just to find that out.
    int bits = 0;
    if (::ioctl(opening->fd, TIOCMGET, &bits) < 0) {
        if (errno == ENOTTY) {
            setHasModemLines(false);
            vel::log("%s has no modem lines; CTS, DSR and DCD stay as they are.", path_.c_str());
            return;
        }
    } else {
        // Known before open returns, so a window can show the lines at once.
        setHasModemLines(true);
    }
    // The watch is stopped (joined) by the real close, while the read
    // source still holds the port and the opening, so its handlers may use
    // `this`; the opening, which owns the watch, is held weakly.
    vel::ModemLineWatch::Handlers handlers;
    const std::weak_ptr<Opening> weak = opening;
    handlers.onLines = [this](int bits) {
        setHasModemLines(true);
        setModemInputLines(bits);
    };
    handlers.onNoModemLines = [this] {
        setHasModemLines(false);
        // No modem lines at all (a pseudo-terminal, the virtual clock):
        // nothing is wrong, there is just nothing to watch.
        vel::log("%s has no modem lines; CTS, DSR and DCD stay as they are.", path_.c_str());
    };
    handlers.onNoEvents = [this, weak] {
        if (auto opening = weak.lock()) {
            startModemLinePoll(opening);
        }
    };
    handlers.onFailure = [this, weak](int error) {
        if (auto opening = weak.lock()) {
            modemLinesFailed(opening, error);
        }
    };
    opening->modemWatch = std::make_unique<vel::ModemLineWatch>(opening->fd, std::move(handlers));
}

void VELSerialPort::startModemLinePoll(const std::shared_ptr<Opening>& opening)
{
    std::lock_guard lock(opening->pollMutex);
    if (opening->reallyClosed || opening->pollTimer) {
        return;
    }
    auto self = shared_from_this();
    opening->pollTimer = vel::TimerSource::create(vel::GlobalQueue::executor(), kModemLinePollInterval,
                                                  [self, opening] { self->pollModemLines(opening); });
    opening->pollTimer->start();
}

void VELSerialPort::modemLinesFailed(const std::shared_ptr<Opening>& opening, int error)
{
    if (isDeviceGoneError(error)) {
        if (auto timer = opening->currentPollTimer()) {
            timer->cancel();
        }
        // Claimed before the error is reported, so that a hang-up seen by
        // the read source meanwhile cannot slip its removal in between.
        if (!removalHandled_.exchange(true)) {
            notifyDelegateOfPosixErrorCode(error, true);
            reportRemovalAndClose();
        }
        return;
    }
    if (error != opening->lastReportedPollError) {
        // A lasting failure is reported once, not a hundred times a second.
        opening->lastReportedPollError = error;
        notifyDelegateOfPosixErrorCode(error, false);
    }
    // Whatever failed may pass: keep looking, by polling.
    startModemLinePoll(opening);
}

void VELSerialPort::pollModemLines(const std::shared_ptr<Opening>& opening)
{
    const auto timer = opening->currentPollTimer();
    if (opening->reallyClosed || fileDescriptor_ != opening->fd) {
        timer->cancel();
        return;
    }
    int bits = 0;
    int result = 0;
    int error = 0;
    {
        std::shared_lock lock(descriptorMutex_);
        if (fileDescriptor_ != opening->fd) {
            return;
        }
        result = ::ioctl(opening->fd, TIOCMGET, &bits);
        error = errno;
    }
    if (result < 0) {
        if (isDeviceGoneError(error)) {
            modemLinesFailed(opening, error);
        } else if (error == ENOTTY) {
            timer->cancel();
            setHasModemLines(false);
            vel::log("%s has no modem lines; CTS, DSR and DCD stay as they are.", path_.c_str());
        } else if (error != opening->lastReportedPollError) {
            opening->lastReportedPollError = error;
            notifyDelegateOfPosixErrorCode(error, false);
        }
        return;
    }
    opening->lastReportedPollError = 0;
    setHasModemLines(true);
    setModemInputLines(bits);
}

bool VELSerialPort::hasModemLines() const
{
    return hasModemLines_;
}

void VELSerialPort::setHasModemLines(bool has)
{
    if (hasModemLines_ == has) {
        return;
    }
    willChangeValueForKey("hasModemLines");
    hasModemLines_ = has;
    didChangeValueForKey("hasModemLines");
}

void VELSerialPort::setModemInputLines(int bits)
{
    setModemInputLine(&VELSerialPort::CTS_, (bits & TIOCM_CTS) != 0, "CTS");
    setModemInputLine(&VELSerialPort::DSR_, (bits & TIOCM_DSR) != 0, "DSR");
    setModemInputLine(&VELSerialPort::DCD_, (bits & TIOCM_CAR) != 0, "DCD");
}

void VELSerialPort::setModemInputLine(std::atomic<bool> VELSerialPort::*line, bool value, const char* key)
{
    if ((this->*line).load() == value) {
        return;
    }
    auto self = shared_from_this();
    auto change = [self, line, value, key] {
        self->willChangeValueForKey(key);
        (self.get()->*line).store(value);
        self->didChangeValueForKey(key);
    };
    runOnMainAndWait(change);
}

