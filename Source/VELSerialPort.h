#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "support/Observable.h"
#include "devices/SerialDevice.h"
#include "VELSerialPortDelegate.h"

class VELSerialBuffer;
class VELSerialPacketDescriptor;
class VELSerialRequest;

namespace vel {
class RequestQueue;
class SerialQueue;
class TimerSource;
}  // namespace vel

enum VELSerialParity : unsigned long {
    VELSerialParityNone = 0,
    VELSerialParityOdd = 1,
    VELSerialParityEven = 2,
};

// One serial device of the machine. There is at most one live port object per
// device: constructing a port for a device that already has one yields that
// object. Ports are always owned through std::shared_ptr; a port leaves the
// registry of live ports when its last owner drops it. An open port keeps
// itself alive until it has closed.
//
// Every property is observable (vel::Observable); "isOpen" follows
// "fileDescriptor", "queuedRequests" follows "requestsQueue" and
// "packetDescriptors" follows "packetDescriptorsAndBuffers". A property
// notifies on the thread that changes it: CTS, DSR and DCD change on the
// main thread, "isOpen" on the thread that opens or finishes closing.
//
// Failures are never returned or thrown: they reach the delegate as
// serialPortDidEncounterError. Programming errors throw std::logic_error.
class VELSerialPort : public vel::Observable, public std::enable_shared_from_this<VELSerialPort> {
public:
    // Construction. The path may be a device's callout or dial-in path; a path
    // that names no serial device yields null and reports nothing.
    static std::shared_ptr<VELSerialPort> serialPortWithPath(const std::string& path);
    static std::shared_ptr<VELSerialPort> serialPortWithDevice(const vel::DeviceHandle& device);
    static std::shared_ptr<VELSerialPort> initWithPath(const std::string& path);
    // Throws std::logic_error "-[VELSerialPort initWithDevice:] requires non-zero device argument."
    // for a null device.
    static std::shared_ptr<VELSerialPort> initWithDevice(const vel::DeviceHandle& device);
    // Refused: throws "VELSerialPort must be init'd using -initWithPath:".
    [[noreturn]] static std::shared_ptr<VELSerialPort> init();

    ~VELSerialPort() override;
    VELSerialPort(const VELSerialPort&) = delete;
    VELSerialPort& operator=(const VELSerialPort&) = delete;

    // Registry of live ports.
    static void addSerialPort(const std::shared_ptr<VELSerialPort>& port);
    static void removeSerialPort(const VELSerialPort* port);
    static std::shared_ptr<VELSerialPort> existingPortWithPath(const std::string& path);

    // Device queries: a property of the device entry itself, or nothing.
    static std::optional<std::string> stringPropertyOfForIOSerialKey(const vel::DeviceHandle& device,
                                                                     const std::string& key);
    static std::optional<std::string> bsdCalloutPathFromDevice(const vel::DeviceHandle& device);
    static std::optional<std::string> bsdDialinPathFromDevice(const vel::DeviceHandle& device);
    static std::optional<std::string> baseNameFromDevice(const vel::DeviceHandle& device);
    static std::optional<std::string> serviceTypeFromDevice(const vel::DeviceHandle& device);
    static std::optional<std::string> modemNameFromDevice(const vel::DeviceHandle& device);
    static std::optional<std::string> suffixFromDevice(const vel::DeviceHandle& device);
    // The serial device whose callout or dial-in path is `path`, or null.
    static vel::DeviceHandle deviceFromBSDPath(const std::string& path);

    // Identity: equal when the paths are equal; printed as its name.
    std::string path() const;
    std::string name() const;
    vel::DeviceHandle IOKitDevice() const;
    std::string description() const { return name(); }
    bool isEqual(const VELSerialPort& other) const;
    std::size_t hash() const;

    // Configuration. On a closed port the setters only store; open applies
    // them. On an open port they apply at once (the flow-control settings
    // through a close and reopen).
    unsigned long baudRate() const;
    void setBaudRate(unsigned long baudRate);
    bool allowsNonStandardBaudRates() const;
    void setAllowsNonStandardBaudRates(bool allows);
    std::size_t numberOfStopBits() const;
    void setNumberOfStopBits(std::size_t stopBits);
    VELSerialParity parity() const;
    void setParity(VELSerialParity parity);
    bool shouldEchoReceivedData() const;
    void setShouldEchoReceivedData(bool echo);
    bool usesRTSCTSFlowControl() const;
    void setUsesRTSCTSFlowControl(bool uses);
    // Linux has no DTR/DSR or DCD flow control: the setting is kept, and
    // applying it as true reports ENOTSUP to the delegate.
    bool usesDTRDSRFlowControl() const;
    void setUsesDTRDSRFlowControl(bool uses);
    bool usesDCDOutputFlowControl() const;
    void setUsesDCDOutputFlowControl(bool uses);
    bool RTS() const;
    void setRTS(bool rts);
    bool DTR() const;
    void setDTR(bool dtr);

    // Low latency: asks the driver to hand received bytes over at once
    // rather than batch them (ASYNC_LOW_LATENCY through TIOCSSERIAL; an FTDI
    // adapter's 16 ms latency timer becomes 1 ms), for request and response
    // traffic that waits on every answer. Off by default. Applied at open
    // and, on an open port, when changed; the driver's own setting comes
    // back at close. Drivers without it (USB ACM, pseudo-terminals) are not
    // an error: lowLatencyIsSupported turns false and the delegate hears
    // nothing. Observable ("usesLowLatency"), any thread.
    bool usesLowLatency() const;
    void setUsesLowLatency(bool uses);
    // Whether the open port's driver takes the low-latency setting; learned
    // at each open, false before the first. Observable
    // ("lowLatencyIsSupported"), told on the thread that opens.
    bool lowLatencyIsSupported() const;

    // Modem input lines, as last read: on each change where the driver
    // reports changes (TIOCMIWAIT), else polled every 10 ms.
    bool CTS() const;
    bool DSR() const;
    bool DCD() const;
    // Whether the device has modem lines at all, learned at each open from
    // the first read of the lines: false for a pseudo-terminal or the
    // virtual clock (nothing to show for CTS, DSR, DCD, RTS or DTR), true for
    // a real serial port; false before the first open. Observable
    // ("hasModemLines"), told on the modem-line watch's thread. Any thread.
    bool hasModemLines() const;

    bool isOpen() const;

    std::weak_ptr<VELSerialPortDelegate> delegate() const;
    void setDelegate(std::weak_ptr<VELSerialPortDelegate> delegate);

    // I/O.
    //
    // Where things run. An open port costs no thread of its own for reading
    // and writing: it reads and writes on the main loop, through the main
    // queue's descriptor watches. When the device is readable, the main
    // thread reads up to 64 KiB straight into the port's receive block and
    // calls serialPortDidReceiveData with that memory in place (valid for
    // the call only); the request layer, when a request or a packet
    // descriptor waits for bytes, gets its own copy afterwards on the port's
    // request-handling queue, so for every chunk the data callback comes
    // before the packet and response callbacks its bytes produce. Bytes that
    // the device does not take at once wait in the outgoing queue and leave
    // from the main loop as the device becomes writable. Only the modem-line
    // watch has a thread (TIOCMIWAIT blocks), and only where the driver
    // supports it; the real close runs on the global queue, since it may
    // wait for the device to drain.
    //
    // open: any thread; does not block on the device (the descriptor is
    // non-blocking for good). Takes the device for exclusive use: an
    // advisory lock (flock), which fails at once with EWOULDBLOCK while
    // another opener holds it, and the terminal's exclusive flag
    // (TIOCEXCL), which makes every other open by a user without
    // CAP_SYS_ADMIN fail with EBUSY. Reports its outcome through the
    // delegate (serialPortWasOpened, or an error); reading starts on the
    // main loop right after serialPortWasOpened.
    void open();
    // close: any thread; returns true at once. Reading and writing stop on
    // the main loop, then the close finishes on the global queue, which lets
    // pending output drain for at most 500 ms (then discards it), restores
    // the device's original attributes, clears the exclusive flag (it
    // outlives the descriptor while anyone else keeps the device open),
    // closes the descriptor and tells the delegate serialPortWasClosed on
    // the main thread. During exit the whole close runs on the calling
    // thread instead. The removal clean-up closes this way.
    bool close();
    // sendData: any thread; never blocks on the device. Writes what the
    // device takes now and queues the rest, in order, for the main loop to
    // write as the device takes it. True when every byte was written or
    // queued; false when the port is closed (nothing reported), when a write
    // failed (the error goes to the delegate), or when the send would take
    // the queue past kMaximumQueuedOutputBytes: such a send is refused
    // whole, and the delegate hears ENOBUFS once per episode (until a send
    // is accepted again), not once per refused send. Bytes sent from one
    // thread keep their order; nothing queued is lost while the port stays
    // open.
    bool sendData(std::span<const std::uint8_t> data);
    bool sendDataIfIdle(std::span<const std::uint8_t> data);
    // 1 MiB: about 90 s of output at 115200 baud. A single send larger than
    // this is always refused.
    static constexpr std::size_t kMaximumQueuedOutputBytes = std::size_t{1} << 20;
    // Bytes waiting in the outgoing queue (0 when closed); lets a caller
    // choose not to pile up stale data. Any thread; never blocks.
    std::size_t queuedOutputByteCount() const;
    // The most received bytes that can wait undelivered. Reads happen on the
    // main thread and go to the delegate at once, so at most one read (64
    // KiB) waits, and only while the delegate has it; while the main thread
    // is busy nothing is read at all: the kernel's buffers and the device's
    // flow control hold the rest, and nothing is dropped.
    static constexpr std::size_t kMaximumUndeliveredInputBytes = std::size_t{1} << 20;
    // Received bytes read but not yet handed over: the bytes of the
    // serialPortDidReceiveData call in progress, else 0. Any thread; never
    // blocks.
    std::size_t undeliveredInputByteCount() const;
    // The device has gone: tells the delegate serialPortWasRemovedFromSystem,
    // then closes. Runs once per opening (once for a port that is not open),
    // whoever notices the removal first (the read watch's hang-up, the
    // modem-line poll, the port manager): the delegate hears removed, then
    // closed, once each. Any thread; off the main thread it waits until the
    // delegate has heard of the removal. During the exit the delegate hears
    // it on the calling thread, and the close finishes there too.
    void cleanupAfterSystemRemoval();
    // Deprecated spelling of cleanupAfterSystemRemoval; logs a warning first.
    void cleanup();

    // Request queue and packet listening. sendRequest and the two listening
    // calls block the caller until the port's request-handling queue has
    // taken them (never on the device, never on the main thread); the
    // cancels and the snapshots below return at once. The requests' and
    // descriptors' own methods run on that request-handling queue.
    bool sendRequest(const std::shared_ptr<VELSerialRequest>& request);
    void cancelQueuedRequest(const std::shared_ptr<VELSerialRequest>& request);
    void cancelAllQueuedRequests();
    void startListeningForPacketsMatchingDescriptor(const std::shared_ptr<VELSerialPacketDescriptor>& descriptor);
    void stopListeningForPacketsMatchingDescriptor(const std::shared_ptr<VELSerialPacketDescriptor>& descriptor);
    std::vector<std::shared_ptr<VELSerialRequest>> queuedRequests() const;
    std::shared_ptr<VELSerialRequest> pendingRequest() const;
    std::vector<std::shared_ptr<VELSerialPacketDescriptor>> packetDescriptors() const;

    // The POSIX error report of the last failed call (errno taken once).
    void notifyDelegateOfPosixErrorWaitingUntilDone(bool wait);
    void notifyDelegateOfPosixError();

    // The process is ending. In this order, on the calling thread: from now
    // on nothing waits for the main loop (closes finish, and delegates hear
    // of them, on the thread that closes); every port the manager lists hears
    // serialPortWasRemovedFromSystem, then closes (serialPortWasClosed);
    // every other open port closes; closes already under way elsewhere are
    // waited for (on a condition, at most 700 ms), so that every device gets
    // its original attributes back. The library's own exit handler
    // (registered when the first port is made) calls it, from whichever
    // thread calls exit.
    static void processWillExit();
    // At exit: waits until a close under way has finished, or the deadline.
    void waitForCloseAtExit(std::chrono::steady_clock::time_point deadline);

private:
    // The removal clean-up proper, for whoever has claimed it (removalHandled_).
    void reportRemovalAndClose();
    struct PrivateTag {};

public:
    VELSerialPort(PrivateTag, const vel::DeviceHandle& device, std::string path);

private:
    struct Opening;

    // Terminal attributes and modem output lines, applied to an open port.
    void setPortOptions();
    // Writes the attributes; the errno of a failure, or 0.
    int applyPortOptions(int fd) const;
    void updateModemLines();
    void applyLowLatency(Opening& opening);
    void restoreLowLatency(Opening& opening);
    void reallyClosePort(const std::shared_ptr<Opening>& opening);
    int closeDescriptor(Opening& opening);
    void drainAndRestoreAttributes(Opening& opening, std::chrono::steady_clock::time_point deadline);
    void readAvailable(const std::shared_ptr<Opening>& opening);
    void watchWritability(const std::shared_ptr<Opening>& opening);
    void writeWaiting(const std::shared_ptr<Opening>& opening);
    void startModemLineWatch(const std::shared_ptr<Opening>& opening);
    void startModemLinePoll(const std::shared_ptr<Opening>& opening);
    void modemLinesFailed(const std::shared_ptr<Opening>& opening, int error);
    void setModemInputLines(int bits);
    void setHasModemLines(bool has);
    void pollModemLines(const std::shared_ptr<Opening>& opening);
    void deviceHasGone(const std::shared_ptr<Opening>& opening);
    void beginClose(bool reopenAfterwards);
    bool sendThroughOutgoingQueue(std::span<const std::uint8_t> data, bool onlyIfIdle);
    void notifyDelegateOfPosixErrorCode(int code, bool wait);
    void setModemInputLine(std::atomic<bool> VELSerialPort::*line, bool value, const char* key);
    void setFlowControl(bool VELSerialPort::*field, bool value, const char* key);
    template <typename T>
    void storeAndNotify(T VELSerialPort::*field, T value, const char* key);
    std::shared_ptr<VELSerialPortDelegate> delegateRespondingTo(VELSerialPortDelegate::Callback callback) const;
    std::shared_ptr<Opening> currentOpening() const;
    void setFileDescriptor(int fd);

    const std::string path_;
    const std::string name_;
    const vel::DeviceHandle device_;

    unsigned long baudRate_ = 115200;
    bool allowsNonStandardBaudRates_ = false;
    std::size_t numberOfStopBits_ = 1;
    VELSerialParity parity_ = VELSerialParityNone;
    bool shouldEchoReceivedData_ = false;
    bool usesRTSCTSFlowControl_ = false;
    bool usesDTRDSRFlowControl_ = false;
    bool usesDCDOutputFlowControl_ = false;
    bool RTS_ = false;
    bool DTR_ = false;
    std::atomic<bool> usesLowLatency_{false};
    std::atomic<bool> lowLatencyIsSupported_{false};
    std::atomic<bool> CTS_{false};
    std::atomic<bool> DSR_{false};
    std::atomic<bool> DCD_{false};
    std::atomic<bool> hasModemLines_{false};

    // 0 means closed.
    std::atomic<int> fileDescriptor_{0};
    // Shared by every use of the descriptor on the caller's and the poll's
    // threads, exclusive for closing it: a descriptor number closed under a
    // write could already name another file.
    mutable std::shared_mutex descriptorMutex_;

    mutable std::mutex delegateMutex_;
    std::weak_ptr<VELSerialPortDelegate> delegate_;

    // What one opening set up: the descriptor, the original attributes, the
    // read source and the poll. Replaced as a whole on each open.
    mutable std::mutex openingMutex_;
    std::shared_ptr<Opening> opening_;
    // Set by the flow-control change sequence: open again once the close it
    // started has completed.
    std::atomic<bool> reopenAfterClose_{false};
    // Set by the first removal clean-up; cleared by a successful open.
    std::atomic<bool> removalHandled_{false};

    std::unique_ptr<vel::SerialQueue> requestHandlingQueue_;
    std::unique_ptr<vel::RequestQueue> requests_;
};
