// Drives the packet descriptors the way a port does, one received byte at a
// time over a buffer bounded by the descriptor's maximum, in one thread and
// deterministically. Patterns and maxima come from the input too. Checks what
// no input may break: no crash, every packet is a tail of the buffer no
// longer than the maximum, a regular-expression packet is one the expression
// matches whole and no longer tail within the maximum is, and a delimited
// packet is what a plain model finds.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <re2/re2.h>
#include <stdexcept>
#include <string>
#include <vector>

#include "VELSerialDelimitedPacketDescriptor.h"
#include "VELSerialRegexPacketDescriptor.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

void check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_descriptors: %s\n", what);
        std::abort();
    }
}

bool isTail(const Bytes& packet, const Bytes& buffer)
{
    return packet.size() <= buffer.size() &&
           std::equal(packet.begin(), packet.end(), buffer.end() - static_cast<std::ptrdiff_t>(packet.size()));
}

// The delimited descriptor's rule, stated plainly: the buffer ends with the
// suffix, and the shortest tail that starts with the prefix and leaves room
// for the suffix is the packet.
std::optional<Bytes> delimitedModel(const Bytes& prefix, const Bytes& suffix, std::size_t maximum, const Bytes& buffer)
{
    const std::size_t length = std::min(buffer.size(), maximum);
    const Bytes tail(buffer.end() - static_cast<std::ptrdiff_t>(length), buffer.end());
    if (tail.size() < suffix.size() ||
        !std::equal(suffix.begin(), suffix.end(), tail.end() - static_cast<std::ptrdiff_t>(suffix.size()))) {
        return std::nullopt;
    }
    for (std::size_t size = prefix.size() + suffix.size(); size <= tail.size(); ++size) {
        const auto start = tail.end() - static_cast<std::ptrdiff_t>(size);
        if (std::equal(prefix.begin(), prefix.end(), start)) {
            return Bytes(start, tail.end());
        }
    }
    return std::nullopt;
}

void regexCase(FuzzedDataProvider& input)
{
    static const char* const patterns[] = {"<[^>]*>", "[0-9]+;", "a|bc", "(a|b)*c", "x?", "\\r\\n",
                                           "[\\s\\S]{3}", ".*!", "\\$GP[A-Z]+,[^\\r\\n]*\\r\\n", "(?:ab)+"};
    const std::string pattern = input.ConsumeBool() ? std::string(input.PickValueInArray(patterns))
                                                    : input.ConsumeRandomLengthString(32);
    const auto maximum = input.ConsumeIntegralInRange<std::uint64_t>(0, 8192);
    std::optional<VELSerialRegexPacketDescriptor> descriptor;
    try {
        descriptor.emplace(pattern, maximum);
    } catch (const std::logic_error&) {
        return;  // An invalid pattern is refused, not a crash.
    }
    RE2::Options options;
    options.set_encoding(RE2::Options::EncodingLatin1);
    options.set_log_errors(false);
    const RE2 whole(pattern, options);
    check(whole.ok(), "a pattern the descriptor took does not compile alone");

    Bytes buffer;
    const Bytes stream = input.ConsumeBytes<std::uint8_t>(input.ConsumeIntegralInRange<std::size_t>(0, 2048));
    const bool repeat = input.ConsumeBool();
    const std::size_t total = repeat ? std::min<std::size_t>(stream.size() * 8, 16384) : stream.size();
    for (std::size_t i = 0; i < total; ++i) {
        buffer.push_back(stream[i % stream.size()]);
        if (buffer.size() > maximum) {
            buffer.erase(buffer.begin());
        }
        const auto packet = descriptor->packetMatchingAtEndOfBuffer(buffer);
        if (!packet) {
            continue;
        }
        check(packet->size() <= maximum && isTail(*packet, buffer), "a packet that is no tail of the buffer");
        // Matched in its place: the tail the descriptor considers (the last
        // `maximum` bytes) is the text, so ^ and \b see what stands before.
        const std::size_t windowSize = std::min<std::size_t>(buffer.size(), maximum);
        const re2::StringPiece window(reinterpret_cast<const char*>(buffer.data() + buffer.size() - windowSize),
                                      windowSize);
        const auto matchesInPlace = [&](std::size_t size) {
            return whole.Match(window, windowSize - size, windowSize, RE2::ANCHOR_BOTH, nullptr, 0);
        };
        check(matchesInPlace(packet->size()), "a packet the expression does not match");
        // The longest tail: no longer one matches (checked on short buffers,
        // where it is cheap).
        if (windowSize <= 64) {
            for (std::size_t size = packet->size() + 1; size <= windowSize; ++size) {
                check(!matchesInPlace(size), "a longer tail matches too");
            }
        }
    }
}

void delimitedCase(FuzzedDataProvider& input)
{
    const Bytes prefix = input.ConsumeBytes<std::uint8_t>(input.ConsumeIntegralInRange<std::size_t>(0, 3));
    const Bytes suffix = input.ConsumeBytes<std::uint8_t>(input.ConsumeIntegralInRange<std::size_t>(0, 3));
    const auto maximum = input.ConsumeIntegralInRange<std::uint64_t>(0, 4096);
    const VELSerialDelimitedPacketDescriptor descriptor(prefix, suffix, maximum);
    Bytes buffer;
    const Bytes stream = input.ConsumeRemainingBytes<std::uint8_t>();
    for (const auto byte : stream) {
        buffer.push_back(byte);
        if (buffer.size() > maximum) {
            buffer.erase(buffer.begin());
        }
        const auto packet = descriptor.packetMatchingAtEndOfBuffer(buffer);
        check(packet == delimitedModel(prefix, suffix, static_cast<std::size_t>(maximum), buffer),
              "the delimited descriptor disagrees with its model");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    if (input.ConsumeBool()) {
        regexCase(input);
    } else {
        delimitedCase(input);
    }
    return 0;
}
