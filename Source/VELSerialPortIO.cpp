#include "VELSerialPort.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <shared_mutex>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

#include "dispatch/GlobalQueue.h"
#include "dispatch/MainQueue.h"
#include "dispatch/SerialQueue.h"
#include "port/ArbitrarySpeed.h"
#include "port/ModemLineWatch.h"
#include "port/RequestQueue.h"
#include "port/VELSerialPortOpening.h"
#include "support/Diagnostics.h"

// Opening, reading, sending, closing and the removal clean-up of a port.
//
// An open port reads and writes on the main loop: a readability watch reads
// straight into the opening's block and hands that memory to the delegate in
// place, and a writability watch, present only while bytes wait, writes them
// out. Only the real close (which may wait for the device to drain) runs on
// the global queue.

using vel::port::isDeviceGoneError;
using vel::port::runOnMainAndWait;

namespace {

// A pseudo-terminal hands over at most a few KiB per read and a USB adapter
// less; the larger bound is for fast devices, which fill it under load.
constexpr std::size_t kLargestRead = 64 * 1024;
// A read at least this long suggests more waits: read again at once.
constexpr std::size_t kReadOnAtLeast = 512;
// How much one wake-up of the main loop reads before it lets other work run.
constexpr std::size_t kReadPerTurn = 256 * 1024;
// How long a close lets pending output drain before it discards it: a device
// that has stopped reading must not hold the close, or the exit, for ever.
constexpr auto kDrainDeadline = std::chrono::milliseconds(500);

// Waits until the driver has sent what it holds, or the deadline passes.
// The driver tells no one when its queue empties: each wait lasts as long as
// what it still holds takes on the wire (ten bits a byte at the driver's
// speed), so a device that reads wakes this a few times, not every
// millisecond.
bool driverOutputDrained(int fd, std::chrono::steady_clock::time_point deadline)
{
    using namespace std::chrono;
    const unsigned long baudRate = vel::readArbitrarySpeed(fd);
    for (;;) {
        int pending = 0;
        if (::ioctl(fd, TIOCOUTQ, &pending) < 0 || pending == 0) {
            return true;
        }
        const auto now = steady_clock::now();
        if (now >= deadline) {
            return false;
        }
        const auto wire = microseconds(static_cast<long long>(pending) * 10 * 1'000'000 /
                                       static_cast<long long>(std::max(baudRate, 50ul)));
        std::this_thread::sleep_for(std::min<steady_clock::duration>(std::max<steady_clock::duration>(wire, milliseconds(1)),
                                                                    deadline - now));
    }
}

}  // namespace

namespace vel::port {

bool isDeviceGoneError(int error)
{
    return error == EIO || error == ENXIO || error == ENODEV;
}

void runOnMainAndWait(std::function<void()> task)
{
    const auto main = vel::MainQueue::shared();
    if (main->isMainThread() || vel::MainQueue::hasMainLoopEnded()) {
        task();
        return;
    }
    auto ran = std::make_shared<std::atomic<bool>>(false);
    auto shared = std::make_shared<std::function<void()>>(std::move(task));
    main->postAndWait([ran, shared] {
        if (!ran->exchange(true)) {
            (*shared)();
        }
    });
    // The exit began while this waited: the main loop will not run it.
    if (vel::MainQueue::hasMainLoopEnded() && !ran->exchange(true)) {
        (*shared)();
    }
}

}  // namespace vel::port

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
        // Neither set the flag: with the lock refused, the flag is the
        // holder's, and clearing it would open the device to everyone.
        ::close(fd);
        notifyDelegateOfPosixErrorCode(error, false);
        return;
    }
    // Non-blocking for good: reads and writes on the main loop never wait
    // for the device.

    auto opening = std::make_shared<Opening>();
    opening->fd = fd;
    opening->block.resize(std::min(kLargestRead, kMaximumUndeliveredInputBytes));
    opening->outgoing = std::make_unique<vel::OutgoingQueue>(fd, kMaximumQueuedOutputBytes);
    removalHandled_ = false;
    ::tcgetattr(fd, &opening->originalAttributes);
    {
        std::lock_guard lock(openingMutex_);
        opening_ = opening;
    }
    reopenAfterClose_ = false;
    setFileDescriptor(fd);

    setPortOptions();
    updateModemLines();
    applyLowLatency(*opening);

    // One task on the main queue: the delegate hears of the opening, then
    // reading starts, so no data can come before serialPortWasOpened.
    // The watch's handler holds the port: an open port lives until it has
    // closed.
    auto self = shared_from_this();
    vel::MainQueue::shared()->post([self, opening] {
        if (opening->closing) {
            return;
        }
        if (auto delegate = self->delegateRespondingTo(VELSerialPortDelegate::Callback::WasOpened)) {
            delegate->serialPortWasOpened(self);
        }
        if (opening->closing) {
            return;
        }
        opening->readWatch = vel::MainQueue::shared()->watchReadable(opening->fd, [self, opening] {
            self->readAvailable(opening);
        });
    });
    startModemLineWatch(opening);
}

// On the main thread: reads into the block, each read handed to the delegate
// in place; the request layer gets a copy on its own queue only when it
// listens, and only after the delegate has had the data, so the data
// callback of a chunk always comes before the packet and response callbacks
// that its bytes produce.
void VELSerialPort::readAvailable(const std::shared_ptr<Opening>& opening)
{
    auto self = shared_from_this();
    std::size_t readThisTurn = 0;
    while (!opening->closing) {
        const ssize_t count = ::read(opening->fd, opening->block.data(), opening->block.size());
        if (count < 0 && (errno == EAGAIN || errno == EINTR)) {
            return;
        }
        if (count <= 0) {
            // On Linux a device that has gone shows as a hang-up: the
            // descriptor stays readable and every read returns 0 or fails
            // with EIO. Left alone that is a busy loop.
            if (count == 0 || isDeviceGoneError(errno)) {
                opening->closing = true;
                deviceHasGone(opening);
            }
            return;
        }
        const std::span<const std::uint8_t> chunk(opening->block.data(), static_cast<std::size_t>(count));
        if (auto delegate = delegateRespondingTo(VELSerialPortDelegate::Callback::DidReceiveData)) {
            opening->inDelivery = chunk.size();
            struct Delivered {
                Opening& opening;
                ~Delivered() { opening.inDelivery = 0; }
            } delivered{*opening};
            delegate->serialPortDidReceiveData(self, chunk);
        }
        if (requests_->isListening()) {
            auto copy = std::make_shared<const std::vector<std::uint8_t>>(chunk.begin(), chunk.end());
            requestHandlingQueue_->async([self, copy = std::move(copy)] { self->requests_->receiveChunk(copy); });
        }
        // A short read emptied the driver's buffer: wait for the next wake.
        // A long one (a flood: a terminal hands over a few KiB per read)
        // likely left more, which is cheaper to read now than after another
        // turn of the loop; but only so much per turn, so that a flood does
        // not starve the window's timers and input.
        readThisTurn += chunk.size();
        if (chunk.size() < kReadOnAtLeast || readThisTurn >= kReadPerTurn) {
            return;
        }
    }
}

std::size_t VELSerialPort::undeliveredInputByteCount() const
{
    const auto opening = currentOpening();
    return opening ? opening->inDelivery.load() : 0;
}

bool VELSerialPort::sendData(std::span<const std::uint8_t> data)
{
    return sendThroughOutgoingQueue(data, false);
}

bool VELSerialPort::sendDataIfIdle(std::span<const std::uint8_t> data)
{
    return sendThroughOutgoingQueue(data, true);
}

bool VELSerialPort::sendThroughOutgoingQueue(std::span<const std::uint8_t> data, bool onlyIfIdle)
{
    vel::OutgoingQueue::Result result{vel::OutgoingQueue::Outcome::Stopped};
    std::shared_ptr<Opening> opening;
    {
        // Held while writing so that the descriptor cannot be closed (and
        // its number handed to some other file) under the write.
        std::shared_lock lock(descriptorMutex_);
        const int fd = fileDescriptor_;
        if (fd == 0) {
            return false;
        }
        opening = currentOpening();
        if (!opening || opening->fd != fd || !opening->outgoing) {
            return false;
        }
        result = onlyIfIdle ? opening->outgoing->sendIfIdle(data) : opening->outgoing->send(data);
    }
    switch (result.outcome) {
    case vel::OutgoingQueue::Outcome::Accepted:
        if (result.startedWaiting) {
            watchWritability(opening);
        }
        return true;
    case vel::OutgoingQueue::Outcome::Refused:
        if (result.firstRefusal) {
            notifyDelegateOfPosixErrorCode(ENOBUFS, false);
        }
        return false;
    case vel::OutgoingQueue::Outcome::Failed:
        notifyDelegateOfPosixErrorCode(result.error, false);
        return false;
    case vel::OutgoingQueue::Outcome::Stopped:
    case vel::OutgoingQueue::Outcome::Busy:
        break;
    }
    return false;
}

// Bytes wait: watch for writability on the main loop until they have gone.
void VELSerialPort::watchWritability(const std::shared_ptr<Opening>& opening)
{
    auto self = shared_from_this();
    auto start = [self, opening] {
        if (opening->closing || opening->writeWatch || opening->outgoing->queuedByteCount() == 0) {
            return;
        }
        opening->writeWatch = vel::MainQueue::shared()->watchWritable(opening->fd, [self, opening] {
            self->writeWaiting(opening);
        });
    };
    const auto main = vel::MainQueue::shared();
    if (main->isMainThread()) {
        start();
    } else {
        main->post(std::move(start));
    }
}

// On the main thread, when the device takes bytes again.
void VELSerialPort::writeWaiting(const std::shared_ptr<Opening>& opening)
{
    if (opening->closing) {
        return;
    }
    const vel::OutgoingQueue::Flushed flushed = opening->outgoing->flush();
    if (flushed.error != 0) {
        // What waited is dropped: the device refuses it.
        notifyDelegateOfPosixErrorCode(flushed.error, false);
    }
    if (flushed.empty || flushed.error != 0) {
        // Not from inside the watch's own call; a send may have queued more
        // by the time this runs.
        vel::MainQueue::shared()->post([opening] {
            if (opening->outgoing->queuedByteCount() == 0) {
                opening->writeWatch.reset();
            }
        });
    }
}

std::size_t VELSerialPort::queuedOutputByteCount() const
{
    const auto opening = currentOpening();
    return opening && opening->outgoing ? opening->outgoing->queuedByteCount() : 0;
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
    if (!opening || !isOpen() || opening->reallyClosed) {
        return;
    }
    opening->closing = true;
    auto self = shared_from_this();
    if (vel::MainQueue::hasMainLoopEnded()) {
        // The process is exiting: there is no main loop to stop the watches
        // on or to hear the close; it all happens here, before exit goes on.
        opening->readWatch.reset();
        opening->writeWatch.reset();
        reallyClosePort(opening);
        return;
    }
    // The watches stop on the main thread (never from inside their own
    // calls), then the real close, which may wait for the device to drain,
    // goes to the global queue.
    vel::MainQueue::shared()->post([self, opening] {
        opening->readWatch.reset();
        opening->writeWatch.reset();
        vel::GlobalQueue::async([self, opening] { self->reallyClosePort(opening); });
    });
}

void VELSerialPort::reallyClosePort(const std::shared_ptr<Opening>& opening)
{
    if (opening->reallyClosed.exchange(true)) {
        return;
    }
    struct MarkFinished {
        Opening& opening;
        ~MarkFinished()
        {
            {
                std::lock_guard lock(opening.finishMutex);
                opening.finished = true;
            }
            opening.finishedChanged.notify_all();
        }
    } markFinished{*opening};
    // The watch's thread is woken and gone before the descriptor closes; a
    // poll it started is stopped after it.
    if (opening->modemWatch) {
        opening->modemWatch->stop();
    }
    if (auto timer = opening->currentPollTimer()) {
        timer->cancel();
    }
    drainAndRestoreAttributes(*opening, std::chrono::steady_clock::now() + kDrainDeadline);

    willChangeValueForKey("fileDescriptor");
    const int closeError = closeDescriptor(*opening);
    didChangeValueForKey("fileDescriptor");
    if (closeError != 0) {
        // The port stays open, without watches or poll.
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
        runOnMainAndWait(closed);
        requestHandlingQueue_->async([self] { self->requests_->resetAfterClose(); });
    }

    if (reopenAfterClose_.exchange(false) && !vel::MainQueue::hasMainLoopEnded()) {
        vel::MainQueue::shared()->post([self] { self->open(); });
    }
}

// The one place where an opening's descriptor is closed. Returns the errno
// of a failed close, or 0.
int VELSerialPort::closeDescriptor(Opening& opening)
{
    // Waits for writes and ioctls in progress on other threads.
    std::unique_lock lock(descriptorMutex_);
    // The exclusive flag belongs to the terminal, not to the descriptor:
    // it stays behind while anyone else keeps the device open (a
    // pseudo-terminal's master, a console, socat) and then refuses every
    // later open by a normal user, ours included; root alone passes it.
    ::ioctl(opening.fd, TIOCNXCL);
    if (::close(opening.fd) < 0) {
        return errno;
    }
    fileDescriptor_ = 0;
    return 0;
}

void VELSerialPort::drainAndRestoreAttributes(Opening& opening, std::chrono::steady_clock::time_point deadline)
{
    const int fd = opening.fd;
    // Hardware flow control off first: with CTS held low the drain below
    // would last until its deadline.
    termios attributes{};
    ::tcgetattr(fd, &attributes);
    attributes.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
    ::tcsetattr(fd, TCSANOW, &attributes);
    const bool drained = opening.outgoing->drain(deadline) && driverOutputDrained(fd, deadline);
    if (!drained) {
        ::tcflush(fd, TCOFLUSH);
    }
    opening.outgoing->stop();
    ::tcsetattr(fd, TCSANOW, &opening.originalAttributes);
    restoreLowLatency(opening);
}

void VELSerialPort::waitForCloseAtExit(std::chrono::steady_clock::time_point deadline)
{
    const auto opening = currentOpening();
    if (!opening) {
        return;
    }
    std::unique_lock lock(opening->finishMutex);
    if (!opening->reallyClosed && !opening->closing) {
        return;  // never asked to close
    }
    opening->finishedChanged.wait_until(lock, deadline, [&] { return opening->finished; });
}

void VELSerialPort::deviceHasGone(const std::shared_ptr<Opening>&)
{
    cleanupAfterSystemRemoval();
}

void VELSerialPort::cleanupAfterSystemRemoval()
{
    // Once per opening (or once for a port that is not open), whoever
    // notices first: the read watch's hang-up, the modem-line watch or the
    // port manager.
    if (removalHandled_.exchange(true)) {
        return;
    }
    reportRemovalAndClose();
}

void VELSerialPort::reportRemovalAndClose()
{
    if (auto delegate = delegateRespondingTo(VELSerialPortDelegate::Callback::WasRemovedFromSystem)) {
        auto self = shared_from_this();
        auto removed = [self] {
            if (auto d = self->delegateRespondingTo(VELSerialPortDelegate::Callback::WasRemovedFromSystem)) {
                d->serialPortWasRemovedFromSystem(self);
            }
        };
        runOnMainAndWait(removed);
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
    } else if (wait) {
        runOnMainAndWait(report);
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
