#include "VELSerialPort.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <shared_mutex>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

#include "port/ArbitrarySpeed.h"
#include "port/VELSerialPortOpening.h"

// The port's line settings as observable properties, and how they map onto
// the terminal's attributes and modem lines.

namespace {

// The termios constant for a standard bit rate, or nothing. glibc's
// cfsetspeed would also take a B-constant's own value as a speed (13 would
// mean 9600), which turns some odd rates into wrong ones.
std::optional<speed_t> standardSpeed(unsigned long rate)
{
    static constexpr std::pair<unsigned long, speed_t> speeds[] = {
        {50, B50},         {75, B75},           {110, B110},         {134, B134},         {150, B150},
        {200, B200},       {300, B300},         {600, B600},         {1200, B1200},       {1800, B1800},
        {2400, B2400},     {4800, B4800},       {9600, B9600},       {19200, B19200},     {38400, B38400},
        {57600, B57600},   {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
        {576000, B576000}, {921600, B921600},   {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
        {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
    };
    for (const auto& [value, constant] : speeds) {
        if (value == rate) {
            return constant;
        }
    }
    return std::nullopt;
}

}  // namespace

// MARK: - Configuration

template <typename T>
void VELSerialPort::storeAndNotify(T VELSerialPort::*field, T value, const char* key)
{
    willChangeValueForKey(key);
    this->*field = value;
    didChangeValueForKey(key);
}

unsigned long VELSerialPort::baudRate() const
{
    return baudRate_;
}

void VELSerialPort::setBaudRate(unsigned long baudRate)
{
    if (baudRate == baudRate_) {
        return;
    }
    storeAndNotify(&VELSerialPort::baudRate_, baudRate, "baudRate");
    setPortOptions();
}

bool VELSerialPort::allowsNonStandardBaudRates() const
{
    return allowsNonStandardBaudRates_;
}

void VELSerialPort::setAllowsNonStandardBaudRates(bool allows)
{
    storeAndNotify(&VELSerialPort::allowsNonStandardBaudRates_, allows, "allowsNonStandardBaudRates");
}

std::size_t VELSerialPort::numberOfStopBits() const
{
    return numberOfStopBits_;
}

void VELSerialPort::setNumberOfStopBits(std::size_t stopBits)
{
    if (stopBits == numberOfStopBits_) {
        return;
    }
    storeAndNotify(&VELSerialPort::numberOfStopBits_, stopBits, "numberOfStopBits");
    setPortOptions();
}

VELSerialParity VELSerialPort::parity() const
{
    return parity_;
}

void VELSerialPort::setParity(VELSerialParity parity)
{
    if (parity == parity_) {
        return;
    }
    if (parity != VELSerialParityNone && parity != VELSerialParityOdd && parity != VELSerialParityEven) {
        parity = VELSerialParityNone;
    }
    storeAndNotify(&VELSerialPort::parity_, parity, "parity");
    setPortOptions();
}

bool VELSerialPort::shouldEchoReceivedData() const
{
    return shouldEchoReceivedData_;
}

void VELSerialPort::setShouldEchoReceivedData(bool echo)
{
    if (echo == shouldEchoReceivedData_) {
        return;
    }
    storeAndNotify(&VELSerialPort::shouldEchoReceivedData_, echo, "shouldEchoReceivedData");
    setPortOptions();
}

bool VELSerialPort::usesRTSCTSFlowControl() const
{
    return usesRTSCTSFlowControl_;
}

void VELSerialPort::setUsesRTSCTSFlowControl(bool uses)
{
    setFlowControl(&VELSerialPort::usesRTSCTSFlowControl_, uses, "usesRTSCTSFlowControl");
}

bool VELSerialPort::usesDTRDSRFlowControl() const
{
    return usesDTRDSRFlowControl_;
}

void VELSerialPort::setUsesDTRDSRFlowControl(bool uses)
{
    setFlowControl(&VELSerialPort::usesDTRDSRFlowControl_, uses, "usesDTRDSRFlowControl");
}

bool VELSerialPort::usesDCDOutputFlowControl() const
{
    return usesDCDOutputFlowControl_;
}

void VELSerialPort::setUsesDCDOutputFlowControl(bool uses)
{
    setFlowControl(&VELSerialPort::usesDCDOutputFlowControl_, uses, "usesDCDOutputFlowControl");
}

void VELSerialPort::setFlowControl(bool VELSerialPort::*field, bool value, const char* key)
{
    if (this->*field == value) {
        return;
    }
    // Flow control is changed on a closed line: close, store, and reopen
    // once the close has completed, so that the open applies the setting.
    const bool wasOpen = isOpen();
    if (wasOpen) {
        beginClose(true);
    }
    storeAndNotify(field, value, key);
    setPortOptions();
}

bool VELSerialPort::RTS() const
{
    return RTS_;
}

void VELSerialPort::setRTS(bool rts)
{
    if (rts == RTS_) {
        return;
    }
    storeAndNotify(&VELSerialPort::RTS_, rts, "RTS");
    updateModemLines();
}

bool VELSerialPort::DTR() const
{
    return DTR_;
}

void VELSerialPort::setDTR(bool dtr)
{
    if (dtr == DTR_) {
        return;
    }
    storeAndNotify(&VELSerialPort::DTR_, dtr, "DTR");
    updateModemLines();
}

bool VELSerialPort::CTS() const
{
    return CTS_;
}

bool VELSerialPort::DSR() const
{
    return DSR_;
}

bool VELSerialPort::DCD() const
{
    return DCD_;
}

bool VELSerialPort::isOpen() const
{
    return fileDescriptor_ != 0;
}

void VELSerialPort::setFileDescriptor(int fd)
{
    willChangeValueForKey("fileDescriptor");
    fileDescriptor_ = fd;
    didChangeValueForKey("fileDescriptor");
}

std::weak_ptr<VELSerialPortDelegate> VELSerialPort::delegate() const
{
    std::lock_guard lock(delegateMutex_);
    return delegate_;
}

void VELSerialPort::setDelegate(std::weak_ptr<VELSerialPortDelegate> delegate)
{
    std::lock_guard lock(delegateMutex_);
    delegate_ = std::move(delegate);
}

std::shared_ptr<VELSerialPortDelegate> VELSerialPort::delegateRespondingTo(VELSerialPortDelegate::Callback callback) const
{
    auto delegate = this->delegate().lock();
    if (delegate && delegate->respondsTo(callback)) {
        return delegate;
    }
    return nullptr;
}

void VELSerialPort::setPortOptions()
{
    int error = 0;
    {
        std::shared_lock lock(descriptorMutex_);
        const int fd = fileDescriptor_;
        if (fd < 1) {
            return;
        }
        error = applyPortOptions(fd);
    }
    if (error != 0) {
        notifyDelegateOfPosixErrorCode(error, false);
    }
    // Linux terminals have no DTR/DSR or DCD flow control.
    if (usesDTRDSRFlowControl_ || usesDCDOutputFlowControl_) {
        notifyDelegateOfPosixErrorCode(ENOTSUP, false);
    }
}

int VELSerialPort::applyPortOptions(int fd) const
{
    termios attributes{};
    ::tcgetattr(fd, &attributes);
    ::cfmakeraw(&attributes);
    attributes.c_cc[VMIN] = 1;
    attributes.c_cc[VTIME] = 2;

    attributes.c_cflag &= ~static_cast<tcflag_t>(CSIZE);
    attributes.c_cflag |= CS8;

    switch (parity_) {
    case VELSerialParityNone:
        // PARODD is left as the device had it.
        attributes.c_cflag &= ~static_cast<tcflag_t>(PARENB);
        break;
    case VELSerialParityOdd:
        attributes.c_cflag |= PARENB | PARODD;
        break;
    case VELSerialParityEven:
        attributes.c_cflag |= PARENB;
        attributes.c_cflag &= ~static_cast<tcflag_t>(PARODD);
        break;
    }

    if (numberOfStopBits_ > 1) {
        attributes.c_cflag |= CSTOPB;
    } else {
        attributes.c_cflag &= ~static_cast<tcflag_t>(CSTOPB);
    }

    if (shouldEchoReceivedData_) {
        attributes.c_lflag |= ECHO;
    } else {
        attributes.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    }

    if (usesRTSCTSFlowControl_) {
        attributes.c_cflag |= CRTSCTS;
    } else {
        attributes.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
    }

    attributes.c_cflag |= HUPCL | CLOCAL | CREAD;
    attributes.c_lflag &= ~static_cast<tcflag_t>(ICANON | ISIG);

    const auto speed = standardSpeed(baudRate_);
    if (speed) {
        ::cfsetispeed(&attributes, *speed);
        ::cfsetospeed(&attributes, *speed);
    }

    int error = 0;
    if (::tcsetattr(fd, TCSANOW, &attributes) < 0) {
        error = errno;
    } else if (!speed) {
        // The other settings are applied; the speed is not one termios knows.
        error = EINVAL;
    } else {
        // tcsetattr succeeds when any one setting was taken: read back.
        termios applied{};
        if (::tcgetattr(fd, &applied) == 0 && ::cfgetospeed(&applied) != *speed) {
            error = EINVAL;
        }
    }
    if (error != 0 && allowsNonStandardBaudRates_) {
        error = vel::setArbitrarySpeed(fd, baudRate_) == 0 ? 0 : errno;
    }
    return error;
}

void VELSerialPort::updateModemLines()
{
    int error = 0;
    {
        std::shared_lock lock(descriptorMutex_);
        const int fd = fileDescriptor_;
        if (fd < 1) {
            return;
        }
        int bits = 0;
        if (::ioctl(fd, TIOCMGET, &bits) < 0) {
            // A device without modem lines (a pseudo-terminal): there is
            // nothing to set, and the poll reports that once for this opening.
            if (errno == ENOTTY) {
                return;
            }
            bits = 0;
        }
        if (RTS_) {
            bits |= TIOCM_RTS;
        } else {
            bits &= ~TIOCM_RTS;
        }
        if (DTR_) {
            bits |= TIOCM_DTR;
        } else {
            bits &= ~TIOCM_DTR;
        }
        if (::ioctl(fd, TIOCMSET, &bits) < 0) {
            error = errno;
        }
    }
    if (error != 0) {
        notifyDelegateOfPosixErrorCode(error, false);
    }
}
