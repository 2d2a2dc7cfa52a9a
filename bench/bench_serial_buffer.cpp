// Cost of appending to a full VELSerialBuffer, the step the packet matcher
// runs once per received byte and registered descriptor.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "VELSerialBuffer.h"

static void BM_AppendOneByteToFullBuffer(benchmark::State& state)
{
    VELSerialBuffer buffer(static_cast<std::uint64_t>(state.range(0)));
    const std::vector<std::uint8_t> fill(static_cast<std::size_t>(state.range(0)), 0x55);
    buffer.appendData(fill);
    std::uint8_t byte = 0;
    for (auto _ : state) {
        buffer.appendData(std::span<const std::uint8_t>(&byte, 1));
        ++byte;
        benchmark::DoNotOptimize(buffer.data().data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AppendOneByteToFullBuffer)->Arg(16)->Arg(256)->Arg(4096);
