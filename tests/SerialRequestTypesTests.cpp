// The library's ready-made request and packet descriptors.
#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>

#include "VELSerialBytesRequest.h"
#include "VELSerialDelimitedPacketDescriptor.h"
#include "VELSerialRegexPacketDescriptor.h"

using Bytes = std::vector<std::uint8_t>;
using Packet = std::optional<Bytes>;

namespace {

Bytes bytes(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

Packet packet(const std::string& text)
{
    return bytes(text);
}

}  // namespace

TEST(VELSerialDelimitedPacketDescriptor, FindsTheShortestFramedTailWithinTheMaximum)
{
    const VELSerialDelimitedPacketDescriptor nmea(bytes("$"), bytes("\r\n"), 8);
    EXPECT_EQ(nmea.packetMatchingAtEndOfBuffer(bytes("$ab$cd\r\n")), packet("$cd\r\n"));
    EXPECT_EQ(nmea.packetMatchingAtEndOfBuffer(bytes("junk$\r\n")), packet("$\r\n"));
    EXPECT_EQ(nmea.packetMatchingAtEndOfBuffer(bytes("$abcde\r\n")), packet("$abcde\r\n"));
    EXPECT_EQ(nmea.packetMatchingAtEndOfBuffer(bytes("$abcdef\r\n")), std::nullopt);  // nine bytes
    EXPECT_EQ(nmea.packetMatchingAtEndOfBuffer(bytes("$cd\r")), std::nullopt);
    EXPECT_EQ(nmea.packetMatchingAtEndOfBuffer(bytes("cd\r\n")), std::nullopt);

    // The delimiters may not share bytes.
    const VELSerialDelimitedPacketDescriptor overlapping(bytes("ab"), bytes("ba"), 8);
    EXPECT_EQ(overlapping.packetMatchingAtEndOfBuffer(bytes("aba")), std::nullopt);
    EXPECT_EQ(overlapping.packetMatchingAtEndOfBuffer(bytes("xabba")), packet("abba"));

    const VELSerialDelimitedPacketDescriptor undelimited(Bytes{}, Bytes{}, 8);
    EXPECT_EQ(undelimited.packetMatchingAtEndOfBuffer(bytes("x")), packet(""));
}

TEST(VELSerialRegexPacketDescriptor, MatchesTheLongestTailWithinTheMaximum)
{
    const VELSerialRegexPacketDescriptor reading("\\$[0-9]+;", 8);
    EXPECT_EQ(reading.packetMatchingAtEndOfBuffer(bytes("x$12;")), packet("$12;"));
    EXPECT_EQ(reading.packetMatchingAtEndOfBuffer(bytes("$12;x")), std::nullopt);
    EXPECT_EQ(reading.packetMatchingAtEndOfBuffer(bytes("$1234567;")), std::nullopt);  // nine bytes

    const VELSerialRegexPacketDescriptor anything(".*!", 4);
    EXPECT_EQ(anything.packetMatchingAtEndOfBuffer(bytes("abcde!")), packet("cde!"));
    // The end of the buffer, not the end of a line.
    EXPECT_EQ(anything.packetMatchingAtEndOfBuffer(bytes("a!\n")), std::nullopt);
    // Alternatives stay inside the anchor.
    const VELSerialRegexPacketDescriptor either("ok|error", 8);
    EXPECT_EQ(either.packetMatchingAtEndOfBuffer(bytes("ok then")), std::nullopt);
    EXPECT_EQ(either.packetMatchingAtEndOfBuffer(bytes("an error")), packet("error"));
}

// std::regex recursed once per repeated byte and overflowed the stack
// within 32 KiB; a device sending one long line could kill the program.
TEST(VELSerialRegexPacketDescriptor, AMebibyteOfInputNeitherCrashesNorMisses)
{
    constexpr std::size_t kMiB = 1 << 20;
    const VELSerialRegexPacketDescriptor frame("<[^<>]*>", 2 * kMiB);
    const Bytes noMatch(kMiB, 'a');
    EXPECT_EQ(frame.packetMatchingAtEndOfBuffer(noMatch), std::nullopt);

    Bytes longLine(kMiB, 'a');
    longLine.front() = '<';
    longLine.back() = '>';
    EXPECT_EQ(frame.packetMatchingAtEndOfBuffer(longLine), longLine);

    const VELSerialRegexPacketDescriptor alternation("(a|b)*c", 2 * kMiB);
    Bytes line(kMiB, 'b');
    line.back() = 'c';
    EXPECT_EQ(alternation.packetMatchingAtEndOfBuffer(line), line);
    line.back() = 'b';
    EXPECT_EQ(alternation.packetMatchingAtEndOfBuffer(line), std::nullopt);

    // Bytes are characters: none is special, NUL and 0xFF included.
    const VELSerialRegexPacketDescriptor binary("\\x00[\\x80-\\xff]+\\x00", 16);
    EXPECT_EQ(binary.packetMatchingAtEndOfBuffer(Bytes{1, 0, 0x80, 0xff, 0}), (Bytes{0, 0x80, 0xff, 0}));
}

TEST(VELSerialRegexPacketDescriptor, RefusesInvalidPatterns)
{
    EXPECT_THROW(VELSerialRegexPacketDescriptor("[", 4), std::logic_error);
    // Would be valid once wrapped in the anchoring group.
    EXPECT_THROW(VELSerialRegexPacketDescriptor("a)|(b", 4), std::logic_error);
    // Back-references are outside what can be matched in linear time.
    EXPECT_THROW(VELSerialRegexPacketDescriptor("(a)\\1", 4), std::logic_error);
}

TEST(SerialRequestTypes, DescriptorsAreEqualAndHashAlikeByContent)
{
    const VELSerialDelimitedPacketDescriptor frames(bytes("<"), bytes(">"), 8);
    const VELSerialDelimitedPacketDescriptor sameFrames(bytes("<"), bytes(">"), 8);
    EXPECT_TRUE(frames.isEqual(sameFrames));
    EXPECT_EQ(frames.hash(), sameFrames.hash());
    EXPECT_FALSE(frames.isEqual(VELSerialDelimitedPacketDescriptor(bytes("<"), bytes(">"), 9)));
    EXPECT_FALSE(frames.isEqual(VELSerialDelimitedPacketDescriptor(bytes("<"), bytes("]"), 8)));
    EXPECT_NE(VELSerialDelimitedPacketDescriptor(bytes("ab"), bytes("c"), 8).hash(),
              VELSerialDelimitedPacketDescriptor(bytes("a"), bytes("bc"), 8).hash());

    const VELSerialRegexPacketDescriptor pattern("<.*>", 8);
    EXPECT_TRUE(pattern.isEqual(VELSerialRegexPacketDescriptor("<.*>", 8)));
    EXPECT_EQ(pattern.hash(), VELSerialRegexPacketDescriptor("<.*>", 8).hash());
    EXPECT_FALSE(pattern.isEqual(VELSerialRegexPacketDescriptor("<.*>", 9)));
    EXPECT_FALSE(pattern.isEqual(frames));
    EXPECT_FALSE(frames.isEqual(pattern));
}

TEST(SerialRequestTypes, BytesRequestsAreEqualByContent)
{
    auto frames = [] { return std::make_shared<VELSerialDelimitedPacketDescriptor>(bytes("<"), bytes(">"), 8); };
    const VELSerialBytesRequest ping(bytes("ping"), 1.5, frames());
    EXPECT_TRUE(ping.isEqual(VELSerialBytesRequest(bytes("ping"), 1.5, frames())));
    EXPECT_FALSE(ping.isEqual(VELSerialBytesRequest(bytes("pong"), 1.5, frames())));
    EXPECT_FALSE(ping.isEqual(VELSerialBytesRequest(bytes("ping"), 2.0, frames())));
    EXPECT_FALSE(ping.isEqual(VELSerialBytesRequest(bytes("ping"), 1.5)));
    EXPECT_FALSE(VELSerialBytesRequest(bytes("ping"), 1.5).isEqual(ping));
    EXPECT_TRUE(VELSerialBytesRequest(bytes("x"), std::nan("")).isEqual(VELSerialBytesRequest(bytes("x"), std::nan(""))));
}
