#include "VELSerialPort.h"

#include <cerrno>
#include <linux/serial.h>
#include <shared_mutex>
#include <sys/ioctl.h>

#include "port/VELSerialPortOpening.h"

// Low latency: the driver's ASYNC_LOW_LATENCY flag (TIOCGSERIAL and
// TIOCSSERIAL). On an FTDI adapter it shortens the latency timer from 16 ms
// to 1 ms; many drivers (USB ACM, pseudo-terminals) have no such setting.

namespace {

// The driver has no serial settings at all, or refuses this one: what
// "unsupported" means here, not a failure.
bool meansUnsupported(int error)
{
    return error == ENOTTY || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

}  // namespace

bool VELSerialPort::usesLowLatency() const
{
    return usesLowLatency_;
}

void VELSerialPort::setUsesLowLatency(bool uses)
{
    if (uses == usesLowLatency_) {
        return;
    }
    willChangeValueForKey("usesLowLatency");
    usesLowLatency_ = uses;
    didChangeValueForKey("usesLowLatency");
    if (const auto opening = currentOpening(); opening && isOpen()) {
        applyLowLatency(*opening);
    }
}

bool VELSerialPort::lowLatencyIsSupported() const
{
    return lowLatencyIsSupported_;
}

void VELSerialPort::applyLowLatency(Opening& opening)
{
    int error = 0;
    bool supported = false;
    {
        std::shared_lock lock(descriptorMutex_);
        if (fileDescriptor_ != opening.fd) {
            return;
        }
        serial_struct settings{};
        if (::ioctl(opening.fd, TIOCGSERIAL, &settings) < 0) {
            error = errno;
        } else {
            supported = true;
            const bool current = (settings.flags & ASYNC_LOW_LATENCY) != 0;
            if (opening.originalLowLatency < 0) {
                opening.originalLowLatency = current ? 1 : 0;
            }
            if (current != usesLowLatency_) {
                settings.flags = usesLowLatency_ ? (settings.flags | ASYNC_LOW_LATENCY)
                                                 : (settings.flags & ~ASYNC_LOW_LATENCY);
                if (::ioctl(opening.fd, TIOCSSERIAL, &settings) < 0) {
                    error = errno;
                    supported = !meansUnsupported(error);
                }
            }
        }
    }
    if (supported != lowLatencyIsSupported_) {
        willChangeValueForKey("lowLatencyIsSupported");
        lowLatencyIsSupported_ = supported;
        didChangeValueForKey("lowLatencyIsSupported");
    }
    if (error != 0 && !meansUnsupported(error)) {
        notifyDelegateOfPosixErrorCode(error, false);
    }
}

void VELSerialPort::restoreLowLatency(Opening& opening)
{
    if (opening.originalLowLatency < 0) {
        return;
    }
    serial_struct settings{};
    if (::ioctl(opening.fd, TIOCGSERIAL, &settings) < 0) {
        return;
    }
    const bool original = opening.originalLowLatency == 1;
    if (((settings.flags & ASYNC_LOW_LATENCY) != 0) != original) {
        settings.flags = original ? (settings.flags | ASYNC_LOW_LATENCY) : (settings.flags & ~ASYNC_LOW_LATENCY);
        ::ioctl(opening.fd, TIOCSSERIAL, &settings);
    }
}
