// Feeds the virtual clock's frame parser a byte stream twice, whole and in
// chunks the input chooses, in one thread. Checks what no input may break:
// no crash, the buffer stays bounded, pieces are non-empty and bounded, and
// the chunking changes nothing that comes out.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <variant>
#include <vector>

#include "clock/ClockFrameParser.h"

namespace {

using Output = std::variant<ClockFrame, QByteArray>;

void check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_clock_frames: %s\n", what);
        std::abort();
    }
}

struct Run {
    Run()
    {
        QObject::connect(&parser, &ClockFrameParser::frameParsed, [this](const ClockFrame& frame) {
            out.emplace_back(frame);
        });
        QObject::connect(&parser, &ClockFrameParser::unparseable, [this](const QByteArray& bytes) {
            check(!bytes.isEmpty(), "an empty unparseable piece");
            check(bytes.size() <= ClockFrameParser::kMaxPieceBytes, "an unparseable piece past the bound");
            out.emplace_back(bytes);
        });
    }

    void feed(const std::vector<char>& bytes, std::size_t from, std::size_t count)
    {
        parser.feed(QByteArrayView(bytes.data() + from, static_cast<qsizetype>(count)));
        check(parser.bufferedBytes() <= ClockFrameParser::kMaxPieceBytes, "the buffer grew past its bound");
    }

    ClockFrameParser parser;
    std::vector<Output> out;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    std::vector<std::size_t> cuts;
    const auto pieces = input.ConsumeIntegralInRange<std::size_t>(0, 16);
    for (std::size_t i = 0; i < pieces; ++i) {
        cuts.push_back(input.ConsumeIntegralInRange<std::size_t>(0, 64));
    }
    const std::vector<char> bytes = input.ConsumeRemainingBytes<char>();

    Run whole;
    whole.feed(bytes, 0, bytes.size());
    whole.parser.flush();

    Run chunked;
    std::size_t at = 0;
    for (const auto cut : cuts) {
        const std::size_t count = std::min(cut, bytes.size() - at);
        chunked.feed(bytes, at, count);
        at += count;
    }
    chunked.feed(bytes, at, bytes.size() - at);
    chunked.parser.flush();
    check(chunked.parser.bufferedBytes() == 0, "flush left bytes behind");
    check(whole.out == chunked.out, "the chunking changed what came out");
    return 0;
}
