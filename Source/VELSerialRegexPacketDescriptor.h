#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "VELSerialPacketDescriptor.h"

namespace re2 {
class RE2;
}

// Packets described by a regular expression over the received bytes, each
// byte taken as one character (Latin-1). The packet at the end of a buffer is
// the longest tail, no longer than the maximum, that the whole expression
// matches; an expression that can match nothing at all yields an empty
// packet, which completes a request but is never reported as a packet.
//
// The engine is RE2, made for untrusted input: matching takes time linear in
// the buffer and never recurses, so no input of any length can exhaust the
// stack. Because the match must end at the end of the buffer, it is found
// by scanning backwards from the end, which usually stops after a few bytes
// when the buffer does not end with a packet; a maximum of a few KiB costs
// little per received byte.
//
// The syntax is ECMAScript's where the two agree (literals, classes, \d \w
// \s, anchors, groups, alternation, greedy and lazy repetition, {n,m}).
// Differences:
// - no back-references (\1) and no look-ahead or look-behind: such a
//   pattern is invalid;
// - `.` matches any byte but `\n` (ECMAScript also excludes `\r`);
// - `$` and `^` always mean the end and start of the tail considered (the
//   last maximumPacketLength bytes of the buffer), and `\b`, `\B` see the
//   byte before the packet within that tail: a packet is matched in its
//   place, not as text of its own;
// - repetition counts above 1000 are invalid;
// - `\x{…}` and Perl classes such as `[[:digit:]]` are accepted as well.
//
// Its methods may be called on any thread; the port calls them on its
// request-handling queue.
class VELSerialRegexPacketDescriptor : public VELSerialPacketDescriptor {
public:
    // An invalid expression is a programming error: throws std::logic_error.
    VELSerialRegexPacketDescriptor(std::string pattern, std::uint64_t maximumPacketLength);
    ~VELSerialRegexPacketDescriptor() override;

    const std::string& pattern() const { return pattern_; }

    std::uint64_t maximumPacketLength() const override { return maximumPacketLength_; }
    std::optional<std::vector<std::uint8_t>>
    packetMatchingAtEndOfBuffer(std::span<const std::uint8_t> buffer) const override;
    bool isEqual(const VELSerialPacketDescriptor& other) const override;
    std::size_t hash() const override;

private:
    const std::string pattern_;
    const std::uint64_t maximumPacketLength_;
    std::unique_ptr<const re2::RE2> atEnd_;  // the pattern, anchored to the end of the buffer
};
