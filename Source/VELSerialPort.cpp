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

#include "ArbitrarySpeed.h"
#include "DeviceRegistry.h"
#include "Diagnostics.h"
#include "GlobalQueue.h"
#include "NoDestroy.h"
#include "MainQueue.h"
#include "ReadSource.h"
#include "RequestQueue.h"
#include "SerialQueue.h"
#include "TimerSource.h"

namespace {

constexpr std::size_t kReadSize = 1024;
constexpr auto kModemLinePollInterval = std::chrono::milliseconds(10);
constexpr auto kModemLinePollLeeway = std::chrono::milliseconds(5);
constexpr const char* kRequestQueueLabel = "org.halodial.VELSerialPort.requestHandlingQueue";

// The registry of live ports. Entries do not own their ports; the path is
// kept beside the reference so that a lookup never has to lock (and so never
// has to release) a port it does not return.
struct LivePorts {
    struct Entry {
        const VELSerialPort* port;
        std::string path;
        std::weak_ptr<VELSerialPort> weak;
    };
    std::mutex mutex;
    std::vector<Entry> entries;
    bool exitHandlerRegistered = false;
};

LivePorts& livePorts()
{
    static vel::NoDestroy<LivePorts> ports;
    return ports.get();
}

std::atomic<bool>& processIsExiting()
{
    static std::atomic<bool> exiting{false};
    return exiting;
}

std::shared_ptr<VELSerialPort> findLivePort(LivePorts& live, const std::string& path)
{
    for (const auto& entry : live.entries) {
        if (entry.path == path) {
            if (auto port = entry.weak.lock()) {
                return port;
            }
        }
    }
    return nullptr;
}

void closeOpenPortsAtExit()
{
    VELSerialPort::processWillExit();
    std::vector<std::shared_ptr<VELSerialPort>> open;
    {
        auto& live = livePorts();
        std::lock_guard lock(live.mutex);
        for (const auto& entry : live.entries) {
            if (auto port = entry.weak.lock()) {
                open.push_back(std::move(port));
            }
        }
    }
    for (const auto& port : open) {
        port->close();
    }
}

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

bool isDeviceGoneError(int error)
{
    return error == EIO || error == ENXIO || error == ENODEV;
}

}  // namespace

struct VELSerialPort::Opening {
    int fd = 0;
    termios originalAttributes{};
    std::shared_ptr<vel::ReadSource> readSource;
    std::shared_ptr<vel::TimerSource> pollTimer;
    // The removal clean-up runs once per opening, whoever notices first.
    std::atomic<bool> removalHandled{false};
    // The real close runs once per opening: at exit it may run on the
    // exiting thread while the read source's cancel handler is still due.
    std::atomic<bool> reallyClosed{false};
    std::atomic<bool> closeFinished{false};
    // Only touched by the poll, which never runs twice at once.
    int lastReportedPollError = 0;
};

// MARK: - Construction and the registry of live ports

VELSerialPort::VELSerialPort(PrivateTag, const vel::DeviceHandle& device, std::string path)
    : path_(std::move(path)),
      name_(modemNameFromDevice(device).value_or("")),
      device_(device),
      requestHandlingQueue_(std::make_unique<vel::SerialQueue>(kRequestQueueLabel))
{
    declareDependentKey("isOpen", "fileDescriptor");
    declareDependentKey("queuedRequests", "requestsQueue");
    declareDependentKey("packetDescriptors", "packetDescriptorsAndBuffers");

    vel::RequestQueue::Host host;
    host.sendData = [this](std::span<const std::uint8_t> data) { return sendData(data); };
    host.delegateRespondingTo = [this](VELSerialPortDelegate::Callback callback) {
        return delegateRespondingTo(callback);
    };
    host.port = [this] { return weak_from_this().lock(); };
    host.announce = [this](vel::ChangeKind kind, const std::vector<std::size_t>& indexes, const std::string& key,
                           bool isPrior) {
        if (isPrior) {
            willChange(kind, indexes, key);
        } else {
            didChange(kind, indexes, key);
        }
    };
    requests_ = std::make_unique<vel::RequestQueue>(*requestHandlingQueue_, std::move(host));
}

VELSerialPort::~VELSerialPort()
{
    removeSerialPort(this);
    std::shared_ptr<Opening> opening;
    {
        std::lock_guard lock(openingMutex_);
        opening = std::move(opening_);
    }
    if (opening) {
        if (opening->readSource) {
            opening->readSource->cancel();
        }
        if (opening->pollTimer) {
            opening->pollTimer->cancel();
        }
    }
    // The request layer cancels its time-out timer; the queue goes after it.
    requests_.reset();
    requestHandlingQueue_.reset();
}

std::shared_ptr<VELSerialPort> VELSerialPort::serialPortWithPath(const std::string& path)
{
    return initWithPath(path);
}

std::shared_ptr<VELSerialPort> VELSerialPort::serialPortWithDevice(const vel::DeviceHandle& device)
{
    return initWithDevice(device);
}

std::shared_ptr<VELSerialPort> VELSerialPort::initWithPath(const std::string& path)
{
    auto device = deviceFromBSDPath(path);
    if (!device) {
        return nullptr;
    }
    return initWithDevice(device);
}

std::shared_ptr<VELSerialPort> VELSerialPort::initWithDevice(const vel::DeviceHandle& device)
{
    if (!device) {
        vel::raise("-[VELSerialPort initWithDevice:] requires non-zero device argument.");
    }
    const std::string path = bsdCalloutPathFromDevice(device).value_or("");

    auto& live = livePorts();
    std::shared_ptr<VELSerialPort> port;
    // Released after the lock: it may be the last reference.
    std::shared_ptr<VELSerialPort> superseded;
    {
        // Lookup and registration under one lock, so that two threads
        // constructing a port for the same device get the same object.
        std::lock_guard lock(live.mutex);
        port = findLivePort(live, path);
        if (port && (port->isOpen() || port->name_ == modemNameFromDevice(device).value_or(""))) {
            return port;
        }
        if (port) {
            // The kernel hands a freed path (a pseudo-terminal's above all)
            // to the next device: a closed port still alive for the old one
            // must not stand for the new one. It stays usable, unlisted.
            const VELSerialPort* old = port.get();
            live.entries.erase(std::find_if(live.entries.begin(), live.entries.end(),
                                            [old](const LivePorts::Entry& entry) { return entry.port == old; }));
            superseded = std::move(port);
        }
        port = std::make_shared<VELSerialPort>(PrivateTag{}, device, path);
        live.entries.push_back({port.get(), port->path_, port});
        if (!live.exitHandlerRegistered) {
            live.exitHandlerRegistered = true;
            if (std::atexit(closeOpenPortsAtExit) != 0) {
                vel::log("VELSerialPort was unable to register its exit handler: %i", errno);
            }
        }
    }
    return port;
}

std::shared_ptr<VELSerialPort> VELSerialPort::init()
{
    vel::raise("VELSerialPort must be init'd using -initWithPath:");
}

void VELSerialPort::addSerialPort(const std::shared_ptr<VELSerialPort>& port)
{
    auto& live = livePorts();
    std::lock_guard lock(live.mutex);
    live.entries.push_back({port.get(), port->path_, port});
}

void VELSerialPort::removeSerialPort(const VELSerialPort* port)
{
    auto& live = livePorts();
    std::lock_guard lock(live.mutex);
    auto it = std::find_if(live.entries.begin(), live.entries.end(),
                           [port](const LivePorts::Entry& entry) { return entry.port == port; });
    if (it != live.entries.end()) {
        live.entries.erase(it);
    }
}

std::shared_ptr<VELSerialPort> VELSerialPort::existingPortWithPath(const std::string& path)
{
    auto& live = livePorts();
    std::lock_guard lock(live.mutex);
    return findLivePort(live, path);
}

void VELSerialPort::processWillExit()
{
    processIsExiting() = true;
}

// MARK: - Device queries

std::optional<std::string> VELSerialPort::stringPropertyOfForIOSerialKey(const vel::DeviceHandle& device,
                                                                         const std::string& key)
{
    if (!device) {
        return std::nullopt;
    }
    return device->property(key);
}

std::optional<std::string> VELSerialPort::bsdCalloutPathFromDevice(const vel::DeviceHandle& device)
{
    return stringPropertyOfForIOSerialKey(device, vel::kIOCalloutDeviceKey);
}

std::optional<std::string> VELSerialPort::bsdDialinPathFromDevice(const vel::DeviceHandle& device)
{
    return stringPropertyOfForIOSerialKey(device, vel::kIODialinDeviceKey);
}

std::optional<std::string> VELSerialPort::baseNameFromDevice(const vel::DeviceHandle& device)
{
    return stringPropertyOfForIOSerialKey(device, vel::kIOTTYBaseNameKey);
}

std::optional<std::string> VELSerialPort::serviceTypeFromDevice(const vel::DeviceHandle& device)
{
    return stringPropertyOfForIOSerialKey(device, vel::kIOSerialBSDClientTypeKey);
}

std::optional<std::string> VELSerialPort::modemNameFromDevice(const vel::DeviceHandle& device)
{
    return stringPropertyOfForIOSerialKey(device, vel::kIOTTYDeviceKey);
}

std::optional<std::string> VELSerialPort::suffixFromDevice(const vel::DeviceHandle& device)
{
    return stringPropertyOfForIOSerialKey(device, vel::kIOTTYSuffixKey);
}

vel::DeviceHandle VELSerialPort::deviceFromBSDPath(const std::string& path)
{
    if (path.empty()) {
        return nullptr;
    }
    return vel::DeviceRegistry::system().deviceWithPath(path);
}

// MARK: - Identity

std::string VELSerialPort::path() const
{
    return path_;
}

std::string VELSerialPort::name() const
{
    return name_;
}

vel::DeviceHandle VELSerialPort::IOKitDevice() const
{
    return device_;
}

bool VELSerialPort::isEqual(const VELSerialPort& other) const
{
    return !path_.empty() && path_ == other.path_;
}

std::size_t VELSerialPort::hash() const
{
    return std::hash<std::string>{}(path_);
}

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

// MARK: - Open, read, send

std::shared_ptr<VELSerialPort::Opening> VELSerialPort::currentOpening() const
{
    std::lock_guard lock(openingMutex_);
    return opening_;
}

void VELSerialPort::open()
{
    if (isOpen()) {
        return;
    }
    int fd = ::open(path_.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd == 0) {
        // Descriptor 0 means "closed" to the port: move it out of the way.
        const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 1);
        const int error = errno;
        ::close(fd);
        fd = moved;
        errno = error;
    }
    if (fd < 1) {
        notifyDelegateOfPosixError();
        return;
    }
    // flock excludes every other opener, root included; TIOCEXCL keeps out
    // openers that do not take the lock.
    if (::flock(fd, LOCK_EX | LOCK_NB) < 0 || ::ioctl(fd, TIOCEXCL) < 0) {
        const int error = errno;
        ::close(fd);
        notifyDelegateOfPosixErrorCode(error, false);
        return;
    }
    ::fcntl(fd, F_SETFL, 0);

    auto opening = std::make_shared<Opening>();
    opening->fd = fd;
    ::tcgetattr(fd, &opening->originalAttributes);
    {
        std::lock_guard lock(openingMutex_);
        opening_ = opening;
    }
    reopenAfterClose_ = false;
    setFileDescriptor(fd);

    setPortOptions();
    updateModemLines();

    if (delegateRespondingTo(VELSerialPortDelegate::Callback::WasOpened)) {
        auto self = shared_from_this();
        vel::MainQueue::shared()->post([self] {
            if (auto delegate = self->delegateRespondingTo(VELSerialPortDelegate::Callback::WasOpened)) {
                delegate->serialPortWasOpened(self);
            }
        });
    }

    // The handlers hold the port: an open port lives until it has closed.
    auto self = shared_from_this();
    opening->readSource = vel::ReadSource::create(
        fd, vel::GlobalQueue::executor(), [self, opening] { self->readHandler(opening); },
        [self, opening] { self->reallyClosePort(opening); });
    opening->readSource->resume();

    opening->pollTimer = vel::TimerSource::create(vel::GlobalQueue::executor(), kModemLinePollInterval,
                                                  kModemLinePollLeeway, [self, opening] { self->pollModemLines(opening); });
    opening->pollTimer->start();
}

void VELSerialPort::readHandler(const std::shared_ptr<Opening>& opening)
{
    if (opening->reallyClosed || fileDescriptor_ != opening->fd) {
        return;
    }
    auto data = std::make_shared<std::vector<std::uint8_t>>(kReadSize);
    const ssize_t count = ::read(opening->fd, data->data(), data->size());
    if (count > 0) {
        data->resize(static_cast<std::size_t>(count));
        receiveData(std::move(data));
        return;
    }
    // On Linux a device that has gone shows as a hang-up: the descriptor
    // stays readable and every read returns 0 or fails with EIO. Left alone
    // that is a busy loop.
    if (count == 0 || isDeviceGoneError(errno)) {
        deviceHasGone(opening);
    }
}

void VELSerialPort::receiveData(std::shared_ptr<const std::vector<std::uint8_t>> data)
{
    auto self = shared_from_this();
    if (delegateRespondingTo(VELSerialPortDelegate::Callback::DidReceiveData)) {
        vel::MainQueue::shared()->post([self, data] {
            if (auto delegate = self->delegateRespondingTo(VELSerialPortDelegate::Callback::DidReceiveData)) {
                delegate->serialPortDidReceiveData(self, *data);
            }
        });
    }
    requestHandlingQueue_->async([self, data = std::move(data)] { self->requests_->receiveChunk(data); });
}

bool VELSerialPort::sendData(std::span<const std::uint8_t> data)
{
    int error = 0;
    {
        // Held while writing so that the descriptor cannot be closed (and
        // its number handed to some other file) under the write.
        std::shared_lock lock(descriptorMutex_);
        const int fd = fileDescriptor_;
        if (fd == 0) {
            return false;
        }
        std::size_t written = 0;
        while (written < data.size()) {
            const ssize_t count = ::write(fd, data.data() + written, data.size() - written);
            if (count < 0) {
                if (errno == EINTR) {
                    continue;
                }
                error = errno;
                break;
            }
            written += static_cast<std::size_t>(count);
        }
    }
    if (error != 0) {
        notifyDelegateOfPosixErrorCode(error, false);
        return false;
    }
    return true;
}

// MARK: - Modem-line poll

void VELSerialPort::pollModemLines(const std::shared_ptr<Opening>& opening)
{
    if (opening->reallyClosed || fileDescriptor_ != opening->fd) {
        opening->pollTimer->cancel();
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
            opening->pollTimer->cancel();
            if (!opening->removalHandled.exchange(true)) {
                notifyDelegateOfPosixErrorCode(error, true);
                cleanupAfterSystemRemoval();
            }
        } else if (error == ENOTTY) {
            // No modem lines at all (a pseudo-terminal): say so once.
            opening->pollTimer->cancel();
            notifyDelegateOfPosixErrorCode(error, false);
        } else if (error != opening->lastReportedPollError) {
            // A lasting failure is reported once, not a hundred times a second.
            opening->lastReportedPollError = error;
            notifyDelegateOfPosixErrorCode(error, false);
        }
        return;
    }
    opening->lastReportedPollError = 0;
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
    if (processIsExiting()) {
        return;
    }
    vel::MainQueue::shared()->postAndWait(change);
}

// MARK: - Close and removal

bool VELSerialPort::close()
{
    beginClose(false);
    return true;
}

void VELSerialPort::beginClose(bool reopenAfterwards)
{
    reopenAfterClose_ = reopenAfterwards;
    auto opening = currentOpening();
    if (!opening || !isOpen()) {
        return;
    }
    if (opening->readSource) {
        opening->readSource->cancel();
    }
    if (processIsExiting()) {
        // The process may end as soon as this returns: wait for the close
        // to finish on the background queue (it no longer waits for the main
        // thread), and do it here should that queue be stuck. Closing here
        // straight away would race with the read source still taking the
        // descriptor out of its reactor.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (!opening->closeFinished && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (!opening->closeFinished) {
            reallyClosePort(opening);
        }
    }
}

void VELSerialPort::reallyClosePort(const std::shared_ptr<Opening>& opening)
{
    if (opening->reallyClosed.exchange(true)) {
        return;
    }
    struct MarkFinished {
        Opening& opening;
        ~MarkFinished() { opening.closeFinished = true; }
    } markFinished{*opening};
    if (opening->pollTimer) {
        opening->pollTimer->cancel();
    }
    const int fd = opening->fd;

    // Hardware flow control off first: with CTS held low the drain below
    // would wait for ever.
    termios attributes{};
    ::tcgetattr(fd, &attributes);
    attributes.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
    ::tcsetattr(fd, TCSANOW, &attributes);
    ::tcsetattr(fd, TCSADRAIN, &opening->originalAttributes);

    willChangeValueForKey("fileDescriptor");
    int closeError = 0;
    {
        // Waits for writes and ioctls in progress on other threads.
        std::unique_lock lock(descriptorMutex_);
        if (::close(fd) < 0) {
            closeError = errno;
        } else {
            fileDescriptor_ = 0;
        }
    }
    didChangeValueForKey("fileDescriptor");
    if (closeError != 0) {
        // The port stays open, without read source or poll.
        notifyDelegateOfPosixErrorCode(closeError, false);
        return;
    }

    auto self = shared_from_this();
    if (delegateRespondingTo(VELSerialPortDelegate::Callback::WasClosed)) {
        auto closed = [self] {
            if (auto delegate = self->delegateRespondingTo(VELSerialPortDelegate::Callback::WasClosed)) {
                delegate->serialPortWasClosed(self);
            }
        };
        const auto main = vel::MainQueue::shared();
        if (main->isMainThread()) {
            closed();
        } else if (!processIsExiting()) {
            main->postAndWait(closed);
        }
        requestHandlingQueue_->async([self] { self->requests_->resetAfterClose(); });
    }

    if (reopenAfterClose_.exchange(false) && !processIsExiting()) {
        vel::MainQueue::shared()->post([self] { self->open(); });
    }
}

void VELSerialPort::deviceHasGone(const std::shared_ptr<Opening>& opening)
{
    if (opening->removalHandled.exchange(true)) {
        return;
    }
    cleanupAfterSystemRemoval();
}

void VELSerialPort::cleanupAfterSystemRemoval()
{
    if (auto delegate = delegateRespondingTo(VELSerialPortDelegate::Callback::WasRemovedFromSystem)) {
        auto self = shared_from_this();
        auto removed = [self] {
            if (auto d = self->delegateRespondingTo(VELSerialPortDelegate::Callback::WasRemovedFromSystem)) {
                d->serialPortWasRemovedFromSystem(self);
            }
        };
        const auto main = vel::MainQueue::shared();
        if (main->isMainThread()) {
            removed();
        } else if (!processIsExiting()) {
            main->postAndWait(removed);
        }
    }
    close();
}

void VELSerialPort::cleanup()
{
    vel::log("WARNING: Cleanup is deprecated and was never intended to be called publicly. You should update your "
             "code to avoid calling this method.");
    cleanupAfterSystemRemoval();
}

// MARK: - Error reports

void VELSerialPort::notifyDelegateOfPosixErrorWaitingUntilDone(bool wait)
{
    notifyDelegateOfPosixErrorCode(errno, wait);
}

void VELSerialPort::notifyDelegateOfPosixError()
{
    notifyDelegateOfPosixErrorCode(errno, false);
}

void VELSerialPort::notifyDelegateOfPosixErrorCode(int code, bool wait)
{
    if (!delegateRespondingTo(VELSerialPortDelegate::Callback::DidEncounterError)) {
        return;
    }
    auto self = shared_from_this();
    auto report = [self, error = vel::PosixError(code, path_)] {
        if (auto delegate = self->delegateRespondingTo(VELSerialPortDelegate::Callback::DidEncounterError)) {
            delegate->serialPortDidEncounterError(self, error);
        }
    };
    const auto main = vel::MainQueue::shared();
    if (main->isMainThread()) {
        report();
    } else if (wait && !processIsExiting()) {
        main->postAndWait(report);
    } else {
        main->post(report);
    }
}

// MARK: - Requests and packets

bool VELSerialPort::sendRequest(const std::shared_ptr<VELSerialRequest>& request)
{
    return requests_->sendRequest(request);
}

void VELSerialPort::cancelQueuedRequest(const std::shared_ptr<VELSerialRequest>& request)
{
    requests_->cancelQueuedRequest(request);
}

void VELSerialPort::cancelAllQueuedRequests()
{
    requests_->cancelAllQueuedRequests();
}

void VELSerialPort::startListeningForPacketsMatchingDescriptor(
    const std::shared_ptr<VELSerialPacketDescriptor>& descriptor)
{
    requests_->startListeningForPacketsMatchingDescriptor(descriptor);
}

void VELSerialPort::stopListeningForPacketsMatchingDescriptor(
    const std::shared_ptr<VELSerialPacketDescriptor>& descriptor)
{
    requests_->stopListeningForPacketsMatchingDescriptor(descriptor);
}

std::vector<std::shared_ptr<VELSerialRequest>> VELSerialPort::queuedRequests() const
{
    return requests_->queuedRequests();
}

std::shared_ptr<VELSerialRequest> VELSerialPort::pendingRequest() const
{
    return requests_->pendingRequest();
}

std::vector<std::shared_ptr<VELSerialPacketDescriptor>> VELSerialPort::packetDescriptors() const
{
    return requests_->packetDescriptors();
}
