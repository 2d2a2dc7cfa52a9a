#include "VELSerialPort.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <exception>
#include <fcntl.h>
#include <shared_mutex>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

#include "devices/DeviceRegistry.h"
#include "dispatch/GlobalQueue.h"
#include "dispatch/MainQueue.h"
#include "dispatch/ReadSource.h"
#include "dispatch/SerialQueue.h"
#include "dispatch/TimerSource.h"
#include "port/ModemLineWatch.h"
#include "port/ReceiveBuffer.h"
#include "port/RequestQueue.h"
#include "port/VELSerialPortOpening.h"
#include "support/Diagnostics.h"

// Opening, reading, sending, closing and the removal
// clean-up of a port.

using vel::port::isDeviceGoneError;
using vel::port::processIsExiting;
using vel::port::runOnMainAndWait;

namespace {

// A pseudo-terminal hands over at most a few KiB per read and a USB adapter
// less; the larger bound is for fast devices, which fill it under load.
constexpr std::size_t kLargestRead = 64 * 1024;
// Less room than this at the end of the receive buffer is skipped: a read
// into a sliver would only split a chunk.
constexpr std::size_t kSmallestRoom = 4 * 1024;
// How much one turn of the main queue delivers before it lets other work
// run: a flood must not starve the window's timers and input.
constexpr std::size_t kDeliveredPerTurn = 256 * 1024;
// How long a close lets pending output drain before it discards it: a device
// that has stopped reading must not hold the close, or the exit, for ever.
constexpr auto kDrainDeadline = std::chrono::milliseconds(500);
// At exit, how long the exiting thread waits for a close under way on a
// background thread (its drain included) before it restores the attributes
// itself.
constexpr auto kExitCloseDeadline = std::chrono::milliseconds(900);

}  // namespace

namespace vel::port {

bool isDeviceGoneError(int error)
{
    return error == EIO || error == ENXIO || error == ENODEV;
}

void runOnMainAndWait(std::function<void()> task)
{
    const auto main = vel::MainQueue::shared();
    if (main->isMainThread()) {
        task();
        return;
    }
    if (processIsExiting()) {
        return;
    }
    struct Wait {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        std::exception_ptr error;
    };
    auto wait = std::make_shared<Wait>();
    main->post([wait, task = std::move(task)] {
        std::exception_ptr error;
        try {
            task();
        } catch (...) {
            error = std::current_exception();
        }
        std::lock_guard lock(wait->mutex);
        wait->finished = true;
        wait->error = error;
        wait->done.notify_all();
    });
    std::unique_lock lock(wait->mutex);
    while (!wait->finished) {
        if (processIsExiting()) {
            return;
        }
        wait->done.wait_for(lock, std::chrono::milliseconds(10));
    }
    if (wait->error) {
        std::rethrow_exception(wait->error);
    }
}

}  // namespace vel::port

namespace {

// Waits until the driver has sent what it holds, or the deadline passes.
bool driverOutputDrained(int fd, std::chrono::steady_clock::time_point deadline)
{
    for (;;) {
        int pending = 0;
        if (::ioctl(fd, TIOCOUTQ, &pending) < 0 || pending == 0) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

}  // namespace

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
    // Non-blocking for good: sends write what the device takes and queue
    // the rest, and nothing ever changes the flag under them.

    auto opening = std::make_shared<Opening>();
    opening->fd = fd;
    opening->received = std::make_unique<vel::ReceiveBuffer>(kMaximumUndeliveredInputBytes, kLargestRead, kSmallestRoom);
    opening->outgoing = std::make_unique<vel::OutgoingQueue>(
        fd, kMaximumQueuedOutputBytes, [weak = weak_from_this()](int error) {
            if (auto self = weak.lock()) {
                self->notifyDelegateOfPosixErrorCode(error, false);
            }
        });
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
        fd, [self, opening] { self->readHandler(opening); }, [self, opening] { self->reallyClosePort(opening); });
    opening->readSource->resume();
    startModemLineWatch(opening);
}

// On the read source's thread: the read lands in the receive buffer, which
// the main thread empties, so a chunk crosses threads once.
void VELSerialPort::readHandler(const std::shared_ptr<Opening>& opening)
{
    // Blocks while the main thread has the whole buffer to deliver; closing
    // the port wakes it.
    const std::span<std::uint8_t> room = opening->received->waitForRoom();
    if (room.empty() || opening->reallyClosed || fileDescriptor_ != opening->fd) {
        return;
    }
    const ssize_t count = ::read(opening->fd, room.data(), room.size());
    if (count > 0) {
        receiveChunk(opening, room.first(static_cast<std::size_t>(count)));
        return;
    }
    // On Linux a device that has gone shows as a hang-up: the descriptor
    // stays readable and every read returns 0 or fails with EIO. Left alone
    // that is a busy loop.
    if (count == 0 || isDeviceGoneError(errno)) {
        deviceHasGone(opening);
    }
}

void VELSerialPort::receiveChunk(const std::shared_ptr<Opening>& opening, std::span<const std::uint8_t> chunk)
{
    auto self = shared_from_this();
    // The request layer walks every byte; it gets its own copy, and only
    // when a request or a packet descriptor waits for bytes.
    if (requests_->isListening()) {
        auto copy = std::make_shared<const std::vector<std::uint8_t>>(chunk.begin(), chunk.end());
        requestHandlingQueue_->async([self, copy = std::move(copy)] { self->requests_->receiveChunk(copy); });
    }
    if (!delegateRespondingTo(VELSerialPortDelegate::Callback::DidReceiveData)) {
        return;  // not committed: the room is read into again
    }
    if (opening->received->commit(chunk.size())) {
        vel::MainQueue::shared()->post([self, opening] { self->deliverReceivedData(opening); });
    }
}

// On the main thread: hands the waiting chunks to the delegate in order, a
// bounded amount per turn, releasing each one's room as it goes.
void VELSerialPort::deliverReceivedData(const std::shared_ptr<Opening>& opening)
{
    vel::ReceiveBuffer& received = *opening->received;
    std::size_t delivered = 0;
    while (delivered < kDeliveredPerTurn) {
        const std::span<const std::uint8_t> chunk = received.nextChunk();
        if (chunk.empty()) {
            return;  // the next commit schedules the next turn
        }
        struct Release {
            vel::ReceiveBuffer& received;
            ~Release() { received.release(); }
        } release{received};
        if (auto delegate = delegateRespondingTo(VELSerialPortDelegate::Callback::DidReceiveData)) {
            delegate->serialPortDidReceiveData(shared_from_this(), chunk);
        }
        delivered += chunk.size();
    }
    vel::MainQueue::shared()->post([self = shared_from_this(), opening] { self->deliverReceivedData(opening); });
}

std::size_t VELSerialPort::undeliveredInputByteCount() const
{
    const auto opening = currentOpening();
    return opening && opening->received ? opening->received->undeliveredByteCount() : 0;
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
    {
        // Held while writing so that the descriptor cannot be closed (and
        // its number handed to some other file) under the write.
        std::shared_lock lock(descriptorMutex_);
        const int fd = fileDescriptor_;
        if (fd == 0) {
            return false;
        }
        const auto opening = currentOpening();
        if (!opening || opening->fd != fd || !opening->outgoing) {
            return false;
        }
        result = onlyIfIdle ? opening->outgoing->sendIfIdle(data) : opening->outgoing->send(data);
    }
    switch (result.outcome) {
    case vel::OutgoingQueue::Outcome::Accepted:
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
    if (!opening || !isOpen()) {
        return;
    }
    // A reader waiting for room must not hold up the close.
    if (opening->received) {
        opening->received->stop();
    }
    if (opening->readSource) {
        opening->readSource->cancel();
    }
    if (processIsExiting()) {
        // The process may end as soon as this returns: wait for the close
        // to finish on the background queue, which the read source's cancel
        // handler runs once the source has let go of the descriptor (nothing
        // on that path waits for the main thread any more). Should the
        // source still be stuck, put the attributes back here but leave the
        // descriptor open: closing it under the source's reactor would race,
        // and the kernel closes it at exit anyway.
        const auto deadline = std::chrono::steady_clock::now() + kExitCloseDeadline;
        while (!opening->closeFinished && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (!opening->closeFinished) {
            restoreAttributesAtExit(opening);
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
    // The watch's thread is woken and gone before the descriptor closes; a
    // poll it started is stopped after it.
    if (opening->modemWatch) {
        opening->modemWatch->stop();
    }
    if (auto timer = opening->currentPollTimer()) {
        timer->cancel();
    }
    const int fd = opening->fd;
    drainAndRestoreAttributes(*opening, std::chrono::steady_clock::now() + kDrainDeadline);

    willChangeValueForKey("fileDescriptor");
    int closeError = 0;
    {
        // Waits for writes and ioctls in progress on other threads.
        std::unique_lock lock(descriptorMutex_);
        // The exclusive flag belongs to the terminal, not to the descriptor:
        // it stays behind while anyone else keeps the device open (a
        // pseudo-terminal's master, a console, socat) and then refuses every
        // later open by a normal user, ours included; root alone passes it.
        ::ioctl(fd, TIOCNXCL);
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
        runOnMainAndWait(closed);
        requestHandlingQueue_->async([self] { self->requests_->resetAfterClose(); });
    }

    if (reopenAfterClose_.exchange(false) && !processIsExiting()) {
        vel::MainQueue::shared()->post([self] { self->open(); });
    }
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
    const bool drained = (!opening.outgoing || opening.outgoing->waitUntilEmpty(deadline)) &&
                         driverOutputDrained(fd, deadline);
    if (!drained) {
        ::tcflush(fd, TCOFLUSH);
    }
    if (opening.outgoing) {
        opening.outgoing->stop();
    }
    ::tcsetattr(fd, TCSANOW, &opening.originalAttributes);
}

void VELSerialPort::restoreAttributesAtExit(const std::shared_ptr<Opening>& opening)
{
    if (opening->reallyClosed.exchange(true)) {
        return;  // The close is under way on its own thread; it restores them.
    }
    vel::log("%s: closing took too long at exit; restoring its attributes and leaving the rest to the kernel.",
             path_.c_str());
    if (auto timer = opening->currentPollTimer()) {
        timer->cancel();
    }
    drainAndRestoreAttributes(*opening, std::chrono::steady_clock::now());
    // The kernel closes the descriptor at exit but leaves the flag set.
    ::ioctl(opening->fd, TIOCNXCL);
}

void VELSerialPort::deviceHasGone(const std::shared_ptr<Opening>&)
{
    cleanupAfterSystemRemoval();
}

void VELSerialPort::cleanupAfterSystemRemoval()
{
    // Once per opening (or once for a port that is not open), whoever
    // notices first: the read source's hang-up, the modem-line poll or the
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
