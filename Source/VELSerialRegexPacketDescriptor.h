#pragma once

#include <cstdint>
#include <regex>
#include <string>

#include "VELSerialPacketDescriptor.h"

// Packets described by a regular expression (ECMAScript grammar) over the
// received bytes taken as chars. The packet at the end of a buffer is the
// longest tail, no longer than the maximum, that the whole expression
// matches; an expression that can match nothing at all yields an empty
// packet, which completes a request but is never reported as a packet.
// Matching runs once per received byte, so keep the maximum small.
class VELSerialRegexPacketDescriptor : public VELSerialPacketDescriptor {
public:
    // An invalid expression is a programming error: throws std::logic_error.
    VELSerialRegexPacketDescriptor(std::string pattern, std::uint64_t maximumPacketLength);

    const std::string& pattern() const { return pattern_; }

    std::uint64_t maximumPacketLength() const override { return maximumPacketLength_; }
    std::optional<std::vector<std::uint8_t>>
    packetMatchingAtEndOfBuffer(std::span<const std::uint8_t> buffer) const override;
    bool isEqual(const VELSerialPacketDescriptor& other) const override;
    std::size_t hash() const override;

private:
    const std::string pattern_;
    const std::uint64_t maximumPacketLength_;
    std::regex atEnd_;  // the pattern, anchored to the end of the buffer
};
