#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "support/Observable.h"
#include "VELSerialPortDelegate.h"

class VELSerialPort;
class VELSerialRequest;
class VELSerialPacketDescriptor;

namespace vel {

class SerialQueue;

// The request queue and packet listening of one port. Every change of its
// state runs on the port's request-handling queue, so it needs no lock of
// its own; the receive path feeds it one chunk at a time on that queue.
// Snapshots for other threads (queuedRequests, pendingRequest,
// packetDescriptors) are taken under a small lock that the queue holds only
// while it changes a list, never while it calls out.
//
// Choices of this implementation:
// - A time-out is tied to the request it was started for. A timer that fires
//   when that request is no longer in flight (it was answered, or the port
//   closed and the queue was reset) reports nothing and sends nothing; the
//   reset after a close also cancels the timer, so normally it never fires.
// - A response that completes the timed-out request while its time-out is
//   still being reported on the main queue is handled as any response: the
//   delegate hears the response after the time-out, and the request finishes
//   there, once. The step that the time-out report queues afterwards only
//   advances the queue if that same request is still in flight, so no request
//   is written twice and none is skipped.
// - Sending a null request returns false and changes nothing; cancelling or
//   listening for null does nothing.
// - A run of requests that expect no response is written in a loop, not by
//   recursion, however long the queue is.
class RequestQueue {
public:
    // What the queue needs of its port. A member left empty behaves as: a
    // write that fails, no delegate, no port, no observers.
    struct Host {
        // Writes every byte; false when the port is closed or a write failed.
        std::function<bool(std::span<const std::uint8_t>)> sendData;
        // The delegate when it implements `callback`, else null. Called on
        // the queue and, when a queued callback runs, on the main thread.
        std::function<std::shared_ptr<VELSerialPortDelegate>(VELSerialPortDelegate::Callback)> delegateRespondingTo;
        // The port itself, held strongly by time-out timers and by callbacks
        // queued on the main queue, which keeps the host callable for them.
        // A host without a port must destroy the RequestQueue on the main
        // thread.
        std::function<std::shared_ptr<VELSerialPort>()> port;
        // Tells the port's observers of a change of "requestsQueue" or
        // "packetDescriptorsAndBuffers" (before: isPrior true).
        std::function<void(ChangeKind, const std::vector<std::size_t>&, const std::string& key, bool isPrior)> announce;
    };

    // `queue` must outlive this object.
    RequestQueue(SerialQueue& queue, Host host);
    // Waits for the queue, cancels the time-out timer; work still queued for
    // this object finds it gone and does nothing.
    ~RequestQueue();
    RequestQueue(const RequestQueue&) = delete;
    RequestQueue& operator=(const RequestQueue&) = delete;

    // Called on the caller's thread, never on the queue itself; sendRequest
    // and the listening calls wait for the queue, the cancels return at once.
    bool sendRequest(const std::shared_ptr<VELSerialRequest>& request);
    void cancelQueuedRequest(const std::shared_ptr<VELSerialRequest>& request);
    void cancelAllQueuedRequests();
    void startListeningForPacketsMatchingDescriptor(const std::shared_ptr<VELSerialPacketDescriptor>& descriptor);
    void stopListeningForPacketsMatchingDescriptor(const std::shared_ptr<VELSerialPacketDescriptor>& descriptor);
    std::vector<std::shared_ptr<VELSerialRequest>> queuedRequests() const;
    std::shared_ptr<VELSerialRequest> pendingRequest() const;
    // In the order in which listening started.
    std::vector<std::shared_ptr<VELSerialPacketDescriptor>> packetDescriptors() const;

    // Whether received bytes can matter here: a request is in flight or
    // queued, a packet descriptor is registered, or a call that may add one
    // is on its way to the queue. When false, receiveChunk would do nothing,
    // so the port need not feed it. Any thread; never blocks.
    bool isListening() const;

    // Run on the request-handling queue: the per-byte step for one received
    // chunk, and the reset after the port closed (no request waiting or in
    // flight, time-out timer cancelled, nothing reported).
    void receiveChunk(const std::shared_ptr<const std::vector<std::uint8_t>>& chunk);
    void resetAfterClose();

private:
    struct State;
    std::shared_ptr<State> state_;
};

}  // namespace vel
