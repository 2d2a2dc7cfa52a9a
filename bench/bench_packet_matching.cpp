// Cost per received byte of the per-byte matching step: one 1024-byte chunk
// through RequestQueue::receiveChunk with 0, 1 and 8 descriptors registered.
// Callbacks go to a main queue that drops them, so only the matching and the
// posting are measured. Nothing else runs on the request-handling queue, so
// the chunk is handed over on the benchmark's thread.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dispatch/MainQueue.h"
#include "port/RequestQueue.h"
#include "dispatch/SerialQueue.h"
#include "VELSerialDelimitedPacketDescriptor.h"
#include "VELSerialRegexPacketDescriptor.h"

namespace {

class DroppingMainQueue : public vel::MainQueue {
public:
    void post(std::function<void()>) override {}
    bool isMainThread() const override { return true; }
    std::unique_ptr<vel::DescriptorWatch> watchReadable(int, std::function<void()>) override { return nullptr; }
    std::unique_ptr<vel::DescriptorWatch> watchWritable(int, std::function<void()>) override { return nullptr; }
};

class PacketListener : public VELSerialPortDelegate {
public:
    Callbacks implementedCallbacks() const override { return {Callback::DidReceivePacketMatchingDescriptor}; }
    void serialPortWasRemovedFromSystem(const std::shared_ptr<VELSerialPort>&) override {}
};

// Sentences of a GPS receiver: "$" ... "\r\n", about 40 bytes each.
std::shared_ptr<const std::vector<std::uint8_t>> sentences()
{
    std::string text;
    while (text.size() < 1024) {
        text += "$GPGGA,123519,4807.038,N,01131.000,E*47\r\n";
    }
    text.resize(1024);
    return std::make_shared<const std::vector<std::uint8_t>>(text.begin(), text.end());
}

void BM_ReceiveChunk(benchmark::State& state)
{
    vel::MainQueue::setShared(std::make_shared<DroppingMainQueue>());
    vel::SerialQueue queue("bench.requestHandlingQueue");
    auto listener = std::make_shared<PacketListener>();
    vel::RequestQueue::Host host;
    host.sendData = [](std::span<const std::uint8_t>) { return true; };
    host.delegateRespondingTo = [listener](VELSerialPortDelegate::Callback) { return listener; };
    vel::RequestQueue requests(queue, std::move(host));

    // The first finds the sentences; the others, with other lead bytes, never do.
    for (std::int64_t i = 0; i < state.range(0); ++i) {
        const auto lead = static_cast<std::uint8_t>('$' + i);
        requests.startListeningForPacketsMatchingDescriptor(
            std::make_shared<VELSerialDelimitedPacketDescriptor>(std::vector<std::uint8_t>{lead},
                                                                 std::vector<std::uint8_t>{'\r', '\n'}, 82));
    }

    const auto chunk = sentences();
    for (auto _ : state) {
        requests.receiveChunk(chunk);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(chunk->size()));
    state.counters["ns_per_byte"] = benchmark::Counter(
        static_cast<double>(state.iterations() * static_cast<std::int64_t>(chunk->size())),
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

}  // namespace

BENCHMARK(BM_ReceiveChunk)->ArgName("descriptors")->Arg(0)->Arg(1)->Arg(8);

// One descriptor with a 4 KiB maximum, the sentences above: the regular
// expression (kind 1) against the delimited descriptor (kind 0) describing
// the same packets, side by side. At 115200 baud (11,520 bytes a second) a
// cost of c ns per byte is c * 11520 / 1e9 of one core.
void BM_ReceiveChunkAt4KiB(benchmark::State& state)
{
    vel::MainQueue::setShared(std::make_shared<DroppingMainQueue>());
    vel::SerialQueue queue("bench.requestHandlingQueue");
    auto listener = std::make_shared<PacketListener>();
    vel::RequestQueue::Host host;
    host.sendData = [](std::span<const std::uint8_t>) { return true; };
    host.delegateRespondingTo = [listener](VELSerialPortDelegate::Callback) { return listener; };
    vel::RequestQueue requests(queue, std::move(host));
    constexpr std::uint64_t kMaximum = 4096;
    if (state.range(0) == 1) {
        requests.startListeningForPacketsMatchingDescriptor(
            std::make_shared<VELSerialRegexPacketDescriptor>("\\$GP[A-Z]+,[^\\r\\n]*\\r\\n", kMaximum));
    } else {
        requests.startListeningForPacketsMatchingDescriptor(std::make_shared<VELSerialDelimitedPacketDescriptor>(
            std::vector<std::uint8_t>{'$', 'G', 'P'}, std::vector<std::uint8_t>{'\r', '\n'}, kMaximum));
    }
    const auto chunk = sentences();
    for (auto _ : state) {
        requests.receiveChunk(chunk);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(chunk->size()));
    state.counters["ns_per_byte"] = benchmark::Counter(
        static_cast<double>(state.iterations() * static_cast<std::int64_t>(chunk->size())),
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

BENCHMARK(BM_ReceiveChunkAt4KiB)->ArgName("regex")->Arg(0)->Arg(1);
