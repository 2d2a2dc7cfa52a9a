#include "port/RequestQueue.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>
#include <optional>
#include <utility>

#include "dispatch/MainQueue.h"
#include "dispatch/SerialQueue.h"
#include "dispatch/TimerSource.h"
#include "VELSerialBuffer.h"
#include "VELSerialPacketDescriptor.h"
#include "VELSerialRequest.h"

namespace vel {

namespace {

constexpr const char* kRequestsQueue = "requestsQueue";
constexpr const char* kPacketDescriptorsAndBuffers = "packetDescriptorsAndBuffers";

using Callback = VELSerialPortDelegate::Callback;
using Bytes = std::vector<std::uint8_t>;
using RequestPtr = std::shared_ptr<VELSerialRequest>;
using DescriptorPtr = std::shared_ptr<VELSerialPacketDescriptor>;

// Seconds to whole nanoseconds, truncated. Time-outs are held to a century so
// that neither the conversion nor the timer's deadline can overflow.
TimerSource::Duration toNanoseconds(double seconds)
{
    constexpr double kCentury = 100.0 * 365.25 * 24 * 3600 * 1e9;
    return TimerSource::Duration(static_cast<TimerSource::Duration::rep>(std::min(seconds * 1e9, kCentury)));
}

bool sameDescriptor(const VELSerialPacketDescriptor& a, const VELSerialPacketDescriptor& b)
{
    return &a == &b || (a.hash() == b.hash() && a.isEqual(b));
}

}  // namespace

struct RequestQueue::State : std::enable_shared_from_this<State> {
    struct Listener {
        DescriptorPtr descriptor;
        std::unique_ptr<VELSerialBuffer> buffer;
    };

    State(SerialQueue& serialQueue, Host h) : queue(serialQueue), host(std::move(h)) {}

    SerialQueue& queue;
    const Host host;

    // The three lists below change only on the queue, under `published`, so
    // that other threads can copy them under the same lock; the queue itself
    // reads them without it.
    mutable std::mutex published;
    std::deque<RequestPtr> requestsQueue;
    RequestPtr pendingRequest;
    std::vector<Listener> listeners;
    // What isListening reads: whether the lists above hold anything, and
    // how many callers are handing the queue a request or a descriptor.
    std::atomic<bool> active{false};
    std::atomic<int> callsOnTheirWay{0};

    // With `published` held, after a change of the lists.
    void updateActive() { active = pendingRequest || !requestsQueue.empty() || !listeners.empty(); }

    // Queue only. `generation` numbers the requests put in flight, so that a
    // late time-out step can tell whether its request is still the one.
    std::uint64_t generation = 0;
    std::unique_ptr<VELSerialBuffer> responseBuffer;
    std::shared_ptr<TimerSource> timeoutTimer;

    // --- Host, with its empty members made harmless.

    std::shared_ptr<VELSerialPortDelegate> delegateRespondingTo(Callback callback) const
    {
        return host.delegateRespondingTo ? host.delegateRespondingTo(callback) : nullptr;
    }
    std::shared_ptr<VELSerialPort> hostPort() const { return host.port ? host.port() : nullptr; }
    void announce(ChangeKind kind, const std::vector<std::size_t>& indexes, const char* key, bool isPrior) const
    {
        if (host.announce) {
            host.announce(kind, indexes, key, isPrior);
        }
    }

    // --- Observed list changes.

    void appendToRequestsQueue(RequestPtr request)
    {
        const std::vector<std::size_t> at{requestsQueue.size()};
        announce(ChangeKind::Insertion, at, kRequestsQueue, true);
        {
            std::lock_guard lock(published);
            requestsQueue.push_back(std::move(request));
            updateActive();
        }
        announce(ChangeKind::Insertion, at, kRequestsQueue, false);
    }

    void removeFromRequestsQueue(std::size_t index)
    {
        const std::vector<std::size_t> at{index};
        announce(ChangeKind::Removal, at, kRequestsQueue, true);
        {
            std::lock_guard lock(published);
            requestsQueue.erase(requestsQueue.begin() + static_cast<std::ptrdiff_t>(index));
            updateActive();
        }
        announce(ChangeKind::Removal, at, kRequestsQueue, false);
    }

    void emptyRequestsQueue()
    {
        announce(ChangeKind::Setting, {}, kRequestsQueue, true);
        {
            std::lock_guard lock(published);
            requestsQueue.clear();
            updateActive();
        }
        announce(ChangeKind::Setting, {}, kRequestsQueue, false);
    }

    void setPendingRequest(RequestPtr request)
    {
        std::lock_guard lock(published);
        pendingRequest = std::move(request);
        updateActive();
    }

    // Replacing the timer cancels the one held before.
    void setTimeoutTimer(std::shared_ptr<TimerSource> timer)
    {
        if (timeoutTimer) {
            timeoutTimer->cancel();
        }
        timeoutTimer = std::move(timer);
    }

    // --- Requests.

    bool reallySendRequest(const RequestPtr& request)
    {
        if (pendingRequest) {
            appendToRequestsQueue(request);
            return true;
        }
        const bool written = putInFlight(request);
        if (written && finishIfNoResponseExpected()) {
            sendNextRequest();
        }
        return written;
    }

    // A request that fails to write stays in flight: its time-out, a
    // response or a close ends it.
    bool putInFlight(const RequestPtr& request)
    {
        const DescriptorPtr descriptor = request->responseDescriptor();
        responseBuffer = std::make_unique<VELSerialBuffer>(descriptor ? descriptor->maximumPacketLength() : 0);
        ++generation;
        setPendingRequest(request);
        const double timeout = request->timeoutInterval();
        setTimeoutTimer(timeout > 0 ? startTimeoutTimer(timeout) : nullptr);
        const Bytes data = request->dataToSend();
        return host.sendData && host.sendData(data);
    }

    std::shared_ptr<TimerSource> startTimeoutTimer(double seconds)
    {
        const auto interval = toNanoseconds(seconds);
        auto timer = TimerSource::create(
            queue.executor(), interval,
            [weak = weak_from_this(), port = hostPort(), timedOut = generation] {
                (void)port;  // held for as long as the timer may fire
                if (auto self = weak.lock()) {
                    self->pendingRequestDidTimeout(timedOut);
                }
            });
        timer->start(interval);
        return timer;
    }

    // The response check without a byte, right after a successful write.
    bool finishIfNoResponseExpected()
    {
        if (!pendingRequest || pendingRequest->responseDescriptor()) {
            return false;
        }
        setTimeoutTimer(nullptr);
        return true;
    }

    void checkResponse(std::span<const std::uint8_t> byte)
    {
        if (!pendingRequest) {
            return;
        }
        const DescriptorPtr descriptor = pendingRequest->responseDescriptor();
        if (!descriptor) {
            return;
        }
        responseBuffer->appendData(byte);
        std::optional<Bytes> response = descriptor->packetMatchingAtEndOfBuffer(responseBuffer->data());
        if (!response) {
            return;
        }
        setTimeoutTimer(nullptr);
        if (!response->empty()) {
            reportResponse(std::move(*response), pendingRequest);
        }
        sendNextRequest();
    }

    // Loops rather than recursing through reallySendRequest, so that a long
    // run of requests without response cannot exhaust the stack.
    void sendNextRequest()
    {
        bool finished = true;
        while (finished) {
            setPendingRequest(nullptr);
            if (requestsQueue.empty()) {
                return;
            }
            RequestPtr next = requestsQueue.front();
            removeFromRequestsQueue(0);
            finished = putInFlight(next) && finishIfNoResponseExpected();
        }
    }

    void pendingRequestDidTimeout(std::uint64_t timedOut)
    {
        if (!pendingRequest || generation != timedOut) {
            return;
        }
        setTimeoutTimer(nullptr);
        if (!delegateRespondingTo(Callback::RequestDidTimeout)) {
            sendNextRequest();
            return;
        }
        MainQueue::shared()->post(
            [weak = weak_from_this(), port = hostPort(), request = pendingRequest, timedOut] {
                auto self = weak.lock();
                if (!self) {
                    return;
                }
                if (auto delegate = self->delegateRespondingTo(Callback::RequestDidTimeout)) {
                    delegate->serialPortRequestDidTimeout(port, request);
                }
                self->queue.async([weak, timedOut] {
                    auto state = weak.lock();
                    if (state && state->pendingRequest && state->generation == timedOut) {
                        state->sendNextRequest();
                    }
                });
            });
    }

    void cancelQueuedRequest(const RequestPtr& request)
    {
        if (request == pendingRequest) {
            return;
        }
        const auto equal = std::find_if(requestsQueue.begin(), requestsQueue.end(), [&](const RequestPtr& waiting) {
            return waiting == request || request->isEqual(*waiting);
        });
        if (equal != requestsQueue.end()) {
            removeFromRequestsQueue(static_cast<std::size_t>(equal - requestsQueue.begin()));
        }
    }

    void resetAfterClose()
    {
        emptyRequestsQueue();
        setPendingRequest(nullptr);
        setTimeoutTimer(nullptr);
        responseBuffer.reset();
    }

    // --- Packets.

    void startListening(const DescriptorPtr& descriptor)
    {
        if (findListener(*descriptor) != listeners.end()) {
            return;
        }
        auto buffer = std::make_unique<VELSerialBuffer>(descriptor->maximumPacketLength());
        std::lock_guard lock(published);
        listeners.push_back({descriptor, std::move(buffer)});
        updateActive();
    }

    void stopListening(const VELSerialPacketDescriptor& descriptor)
    {
        const auto listener = findListener(descriptor);
        if (listener == listeners.end()) {
            return;
        }
        std::unique_ptr<VELSerialBuffer> buffer;
        std::lock_guard lock(published);
        buffer = std::move(listener->buffer);  // destroyed after the lock is released
        listeners.erase(listener);
        updateActive();
    }

    std::vector<Listener>::iterator findListener(const VELSerialPacketDescriptor& descriptor)
    {
        return std::find_if(listeners.begin(), listeners.end(),
                            [&](const Listener& l) { return sameDescriptor(*l.descriptor, descriptor); });
    }

    void receiveByte(std::span<const std::uint8_t> byte)
    {
        for (Listener& listener : listeners) {
            listener.buffer->appendData(byte);
            std::optional<Bytes> packet = listener.descriptor->packetMatchingAtEndOfBuffer(listener.buffer->data());
            if (packet && !packet->empty()) {
                reportPacket(std::move(*packet), listener.descriptor);
                listener.buffer->clearBuffer();
            }
        }
        checkResponse(byte);
    }

    // --- Callbacks on the main queue. Each holds the port and what it
    // reports, and fetches the delegate again when it runs.

    void reportPacket(Bytes packet, const DescriptorPtr& descriptor)
    {
        if (!delegateRespondingTo(Callback::DidReceivePacketMatchingDescriptor)) {
            return;
        }
        MainQueue::shared()->post(
            [weak = weak_from_this(), port = hostPort(), packet = std::move(packet), descriptor] {
                auto self = weak.lock();
                auto delegate = self ? self->delegateRespondingTo(Callback::DidReceivePacketMatchingDescriptor) : nullptr;
                if (delegate) {
                    delegate->serialPortDidReceivePacketMatchingDescriptor(port, packet, descriptor);
                }
            });
    }

    // Whether the delegate takes responses is asked only when the callback
    // runs.
    void reportResponse(Bytes response, const RequestPtr& request)
    {
        MainQueue::shared()->post([weak = weak_from_this(), port = hostPort(), response = std::move(response), request] {
            auto self = weak.lock();
            auto delegate = self ? self->delegateRespondingTo(Callback::DidReceiveResponseToRequest) : nullptr;
            if (delegate) {
                delegate->serialPortDidReceiveResponseToRequest(port, response, request);
            }
        });
    }
};

namespace {

// Counts a call from the moment it heads for the queue until the queue has
// taken it, so that bytes read meanwhile still reach the queue, as they
// would have before the call's step ran there.
struct OnTheirWay {
    std::atomic<int>& count;
    template <typename S>
    explicit OnTheirWay(S& state) : count(state.callsOnTheirWay)
    {
        ++count;
    }
    ~OnTheirWay() { --count; }
    OnTheirWay(const OnTheirWay&) = delete;
    OnTheirWay& operator=(const OnTheirWay&) = delete;
};

}  // namespace

RequestQueue::RequestQueue(SerialQueue& queue, Host host) : state_(std::make_shared<State>(queue, std::move(host))) {}

RequestQueue::~RequestQueue()
{
    // Dropping the state on the queue orders it after any step already
    // running there; later steps find it gone.
    SerialQueue& queue = state_->queue;
    queue.sync([this] {
        state_->setTimeoutTimer(nullptr);
        state_.reset();
    });
}

bool RequestQueue::sendRequest(const std::shared_ptr<VELSerialRequest>& request)
{
    if (!request) {
        return false;
    }
    bool written = false;
    OnTheirWay call(*state_);
    state_->queue.sync([&] { written = state_->reallySendRequest(request); });
    return written;
}

void RequestQueue::cancelQueuedRequest(const std::shared_ptr<VELSerialRequest>& request)
{
    if (!request) {
        return;
    }
    state_->queue.async([weak = std::weak_ptr<State>(state_), request] {
        if (auto state = weak.lock()) {
            state->cancelQueuedRequest(request);
        }
    });
}

void RequestQueue::cancelAllQueuedRequests()
{
    state_->queue.async([weak = std::weak_ptr<State>(state_)] {
        if (auto state = weak.lock()) {
            state->emptyRequestsQueue();
        }
    });
}

void RequestQueue::startListeningForPacketsMatchingDescriptor(
    const std::shared_ptr<VELSerialPacketDescriptor>& descriptor)
{
    if (!descriptor) {
        return;
    }
    {
        std::lock_guard lock(state_->published);
        if (state_->findListener(*descriptor) != state_->listeners.end()) {
            return;
        }
    }
    state_->announce(ChangeKind::Setting, {}, kPacketDescriptorsAndBuffers, true);
    OnTheirWay call(*state_);
    state_->queue.sync([&] { state_->startListening(descriptor); });
    state_->announce(ChangeKind::Setting, {}, kPacketDescriptorsAndBuffers, false);
}

void RequestQueue::stopListeningForPacketsMatchingDescriptor(
    const std::shared_ptr<VELSerialPacketDescriptor>& descriptor)
{
    if (!descriptor) {
        return;
    }
    state_->announce(ChangeKind::Setting, {}, kPacketDescriptorsAndBuffers, true);
    state_->queue.sync([&] { state_->stopListening(*descriptor); });
    state_->announce(ChangeKind::Setting, {}, kPacketDescriptorsAndBuffers, false);
}

std::vector<std::shared_ptr<VELSerialRequest>> RequestQueue::queuedRequests() const
{
    std::lock_guard lock(state_->published);
    return {state_->requestsQueue.begin(), state_->requestsQueue.end()};
}

std::shared_ptr<VELSerialRequest> RequestQueue::pendingRequest() const
{
    std::lock_guard lock(state_->published);
    return state_->pendingRequest;
}

std::vector<std::shared_ptr<VELSerialPacketDescriptor>> RequestQueue::packetDescriptors() const
{
    std::lock_guard lock(state_->published);
    std::vector<std::shared_ptr<VELSerialPacketDescriptor>> descriptors;
    descriptors.reserve(state_->listeners.size());
    for (const State::Listener& listener : state_->listeners) {
        descriptors.push_back(listener.descriptor);
    }
    return descriptors;
}

bool RequestQueue::isListening() const
{
    // The count first: a call's step sets `active` before the call stops
    // counting, so one of the two loads sees it.
    return state_->callsOnTheirWay.load() > 0 || state_->active.load();
}

void RequestQueue::receiveChunk(const std::shared_ptr<const std::vector<std::uint8_t>>& chunk)
{
    if (!chunk) {
        return;
    }
    const std::span<const std::uint8_t> bytes(*chunk);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        state_->receiveByte(bytes.subspan(i, 1));
    }
}

void RequestQueue::resetAfterClose()
{
    state_->resetAfterClose();
}

}  // namespace vel
