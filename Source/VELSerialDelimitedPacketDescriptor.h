#pragma once

#include <cstdint>
#include <vector>

#include "VELSerialPacketDescriptor.h"

// Packets framed by a fixed prefix and suffix, for example "$" ... "\r\n".
// The packet at the end of a buffer is the shortest tail that starts with the
// prefix and ends with the suffix (the two do not overlap) and is no longer
// than the maximum; shortest, so that stray or truncated frames before it
// never become part of it. With both delimiters empty every buffer ends with
// an empty packet, which completes a request at once but is never reported
// as a packet.
class VELSerialDelimitedPacketDescriptor : public VELSerialPacketDescriptor {
public:
    VELSerialDelimitedPacketDescriptor(std::vector<std::uint8_t> prefix, std::vector<std::uint8_t> suffix,
                                       std::uint64_t maximumPacketLength);

    const std::vector<std::uint8_t>& prefix() const { return prefix_; }
    const std::vector<std::uint8_t>& suffix() const { return suffix_; }

    std::uint64_t maximumPacketLength() const override { return maximumPacketLength_; }
    std::optional<std::vector<std::uint8_t>>
    packetMatchingAtEndOfBuffer(std::span<const std::uint8_t> buffer) const override;
    bool isEqual(const VELSerialPacketDescriptor& other) const override;
    std::size_t hash() const override;

private:
    const std::vector<std::uint8_t> prefix_;
    const std::vector<std::uint8_t> suffix_;
    const std::uint64_t maximumPacketLength_;
};
