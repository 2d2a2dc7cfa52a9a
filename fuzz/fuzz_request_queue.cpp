// Drives one RequestQueue with random request sequences, descriptors, cancels,
// resets and received byte streams, and checks what no input may break:
// requests are written in the order sent and never twice, the list notices
// add up to the list, packets are those a plain model of the per-byte step
// finds, and every packet and response is one its descriptor recognises.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "dispatch/AsioMainQueue.h"
#include "support/NoDestroy.h"
#include "port/RequestQueue.h"
#include "dispatch/SerialQueue.h"
#include "VELSerialBytesRequest.h"
#include "VELSerialDelimitedPacketDescriptor.h"
#include "VELSerialRegexPacketDescriptor.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using RequestPtr = std::shared_ptr<VELSerialRequest>;
using DescriptorPtr = std::shared_ptr<VELSerialPacketDescriptor>;
using Callback = VELSerialPortDelegate::Callback;

void check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_request_queue: %s\n", what);
        std::abort();
    }
}

// The fuzzer's thread is the main thread; the serial queue runs on the pool.
struct World {
    World() { vel::MainQueue::setShared(main); }

    void pump()
    {
        main->context().restart();
        main->context().poll();
    }

    std::shared_ptr<vel::AsioMainQueue> main = std::make_shared<vel::AsioMainQueue>();
    vel::SerialQueue queue{"fuzz.requestHandlingQueue"};
};

World& world()
{
    static vel::NoDestroy<World> instance;
    return instance.get();
}

// Callbacks arrive on the fuzzer's own thread; nothing here needs a lock.
// Which of them it takes is decided by the input, through the host.
class Recorder : public VELSerialPortDelegate {
public:
    Callbacks implementedCallbacks() const override
    {
        return {Callback::DidReceivePacketMatchingDescriptor, Callback::DidReceiveResponseToRequest,
                Callback::RequestDidTimeout};
    }
    void serialPortWasRemovedFromSystem(const std::shared_ptr<VELSerialPort>&) override {}
    void serialPortDidReceivePacketMatchingDescriptor(const std::shared_ptr<VELSerialPort>&,
                                                      std::span<const std::uint8_t> packet,
                                                      const DescriptorPtr& descriptor) override
    {
        packets.emplace_back(descriptor, Bytes(packet.begin(), packet.end()));
    }
    void serialPortDidReceiveResponseToRequest(const std::shared_ptr<VELSerialPort>&,
                                               std::span<const std::uint8_t> response,
                                               const RequestPtr& request) override
    {
        const Bytes bytes(response.begin(), response.end());
        check(!bytes.empty(), "empty response reported");
        check(request->responseDescriptor()->packetMatchingAtEndOfBuffer(bytes) == bytes,
              "response its descriptor does not recognise");
        check(++responses[request.get()] == 1, "two responses to one request");
    }
    void serialPortRequestDidTimeout(const std::shared_ptr<VELSerialPort>&, const RequestPtr&) override {}

    std::vector<std::pair<DescriptorPtr, Bytes>> packets;
    std::map<const VELSerialRequest*, int> responses;
};

// What the queue writes, one entry per write. Each request's bytes start
// with its number, so the order of the writes is the order of the numbers.
struct Wire {
    std::mutex mutex;
    std::vector<std::uint32_t> numbers;
    bool failing = false;
};

// The per-byte packet step, written as plainly as possible.
struct ModelListener {
    DescriptorPtr descriptor;
    Bytes buffer;
};

DescriptorPtr makeDescriptor(FuzzedDataProvider& input)
{
    static const char* const patterns[] = {"<[^>]*>", "[0-9]+;", "a|bc", "(ab)*c", "x?", "\\r\\n", "[^]{3}"};
    const auto maximum = input.ConsumeIntegralInRange<std::uint64_t>(0, 24);
    if (input.ConsumeBool()) {
        return std::make_shared<VELSerialRegexPacketDescriptor>(input.PickValueInArray(patterns), maximum);
    }
    Bytes prefix = input.ConsumeBytes<std::uint8_t>(input.ConsumeIntegralInRange(0, 2));
    Bytes suffix = input.ConsumeBytes<std::uint8_t>(input.ConsumeIntegralInRange(0, 2));
    return std::make_shared<VELSerialDelimitedPacketDescriptor>(std::move(prefix), std::move(suffix), maximum);
}

double makeTimeout(FuzzedDataProvider& input)
{
    // 0.2 ms fires during the run; an hour never does.
    static const double timeouts[] = {0.0, -1.0, std::numeric_limits<double>::quiet_NaN(), 0.0002, 3600.0,
                                      std::numeric_limits<double>::infinity()};
    return input.PickValueInArray(timeouts);
}

bool sameDescriptor(const DescriptorPtr& a, const DescriptorPtr& b)
{
    return a->hash() == b->hash() && a->isEqual(*b);
}

enum class Step { Send, Cancel, CancelAll, Listen, StopListening, Receive, Reset, ToggleFailure, Wait, kMaxValue = Wait };

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    World& w = world();
    FuzzedDataProvider input(data, size);

    auto recorder = std::make_shared<Recorder>();
    const bool takes[] = {input.ConsumeBool(), input.ConsumeBool(), input.ConsumeBool()};
    const bool packetsReported = takes[0];

    auto wire = std::make_shared<Wire>();
    std::size_t announced = 0;  // length of the waiting list, as the notices tell it; queue only
    vel::RequestQueue::Host host;
    host.sendData = [wire](std::span<const std::uint8_t> bytes) {
        check(bytes.size() >= 4, "a write that is not one whole request");
        std::uint32_t number = 0;
        std::memcpy(&number, bytes.data(), sizeof number);
        std::lock_guard lock(wire->mutex);
        check(wire->numbers.empty() || number > wire->numbers.back(), "request written out of order or twice");
        wire->numbers.push_back(number);
        return !wire->failing;
    };
    host.delegateRespondingTo = [recorder, takes](Callback callback) -> std::shared_ptr<VELSerialPortDelegate> {
        const bool taken = (callback == Callback::DidReceivePacketMatchingDescriptor && takes[0]) ||
                           (callback == Callback::DidReceiveResponseToRequest && takes[1]) ||
                           (callback == Callback::RequestDidTimeout && takes[2]);
        return taken ? recorder : nullptr;
    };
    host.announce = [&announced](vel::ChangeKind kind, const std::vector<std::size_t>& indexes,
                                 const std::string& key, bool isPrior) {
        if (isPrior || key != "requestsQueue") {
            return;
        }
        switch (kind) {
        case vel::ChangeKind::Insertion:
            check(indexes.size() == 1 && indexes[0] == announced++, "insertion not at the end");
            break;
        case vel::ChangeKind::Removal:
            check(indexes.size() == 1 && indexes[0] < announced--, "removal outside the list");
            break;
        default:
            announced = 0;
            break;
        }
    };

    std::vector<ModelListener> model;
    std::vector<std::pair<DescriptorPtr, Bytes>> expectedPackets;
    std::vector<RequestPtr> sent;
    std::vector<DescriptorPtr> descriptors;
    std::uint32_t nextNumber = 1;
    {
        vel::RequestQueue requests(w.queue, std::move(host));
        while (input.remaining_bytes() > 0) {
            switch (input.ConsumeEnum<Step>()) {
            case Step::Send: {
                Bytes bytes(4);
                std::memcpy(bytes.data(), &nextNumber, sizeof nextNumber);
                ++nextNumber;
                Bytes payload = input.ConsumeBytes<std::uint8_t>(input.ConsumeIntegralInRange(0, 8));
                bytes.insert(bytes.end(), payload.begin(), payload.end());
                const double timeout = makeTimeout(input);
                auto request = std::make_shared<VELSerialBytesRequest>(
                    std::move(bytes), timeout, input.ConsumeBool() ? makeDescriptor(input) : nullptr);
                sent.push_back(request);
                requests.sendRequest(request);
                break;
            }
            case Step::Cancel:
                if (!sent.empty()) {
                    requests.cancelQueuedRequest(sent[input.ConsumeIntegralInRange<std::size_t>(0, sent.size() - 1)]);
                }
                break;
            case Step::CancelAll:
                requests.cancelAllQueuedRequests();
                break;
            case Step::Listen: {
                auto descriptor = makeDescriptor(input);
                descriptors.push_back(descriptor);
                requests.startListeningForPacketsMatchingDescriptor(descriptor);
                if (std::none_of(model.begin(), model.end(),
                                 [&](const ModelListener& l) { return sameDescriptor(l.descriptor, descriptor); })) {
                    model.push_back({descriptor, {}});
                }
                break;
            }
            case Step::StopListening:
                if (!descriptors.empty()) {
                    const auto& descriptor = descriptors[input.ConsumeIntegralInRange<std::size_t>(0, descriptors.size() - 1)];
                    requests.stopListeningForPacketsMatchingDescriptor(descriptor);
                    std::erase_if(model, [&](const ModelListener& l) { return sameDescriptor(l.descriptor, descriptor); });
                }
                break;
            case Step::Receive: {
                auto chunk = std::make_shared<const Bytes>(input.ConsumeBytes<std::uint8_t>(input.ConsumeIntegralInRange(0, 64)));
                w.queue.sync([&] { requests.receiveChunk(chunk); });
                for (std::uint8_t byte : *chunk) {
                    for (ModelListener& l : model) {
                        l.buffer.push_back(byte);
                        if (l.buffer.size() > l.descriptor->maximumPacketLength()) {
                            l.buffer.erase(l.buffer.begin());
                        }
                        auto packet = l.descriptor->packetMatchingAtEndOfBuffer(l.buffer);
                        if (packet && !packet->empty()) {
                            if (packetsReported) {
                                expectedPackets.emplace_back(l.descriptor, *packet);
                            }
                            l.buffer.clear();
                        }
                    }
                }
                break;
            }
            case Step::Reset:
                w.queue.sync([&] { requests.resetAfterClose(); });
                break;
            case Step::ToggleFailure: {
                std::lock_guard lock(wire->mutex);
                wire->failing = !wire->failing;
                break;
            }
            case Step::Wait:
                // Long enough for the shortest time-out to fire now and then.
                std::this_thread::sleep_for(std::chrono::microseconds(300));
                break;
            }
            w.pump();
            // On the queue: time-outs may move the list on at any moment.
            w.queue.sync([&] {
                check(requests.queuedRequests().size() == announced, "list notices do not add up to the list");
                check(requests.queuedRequests().empty() || requests.pendingRequest(), "requests wait behind nothing");
            });
            check(requests.packetDescriptors().size() == model.size(), "listening for a descriptor twice");
        }
        w.queue.sync([&] { requests.resetAfterClose(); });
        w.pump();
    }
    w.pump();

    check(recorder->packets.size() == expectedPackets.size(), "packets differ from the model");
    for (std::size_t i = 0; i < expectedPackets.size(); ++i) {
        check(recorder->packets[i].first == expectedPackets[i].first, "packet of another descriptor");
        check(recorder->packets[i].second == expectedPackets[i].second, "packet differs from the model");
    }
    return 0;
}
