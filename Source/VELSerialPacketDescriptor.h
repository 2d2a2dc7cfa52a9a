#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// Recognises a packet at the end of a stream of received bytes. A port keeps
// one bounded buffer per descriptor it listens for and, after every byte,
// asks the descriptor whether the buffer now ends with a packet.
//
// The port calls these methods on its request-handling queue (a background
// thread), once per received byte per descriptor, so they must be quick and
// must not block; a descriptor shared by several ports is called from
// several such threads at once, so its methods must be thread-safe (const).
class VELSerialPacketDescriptor {
public:
    virtual ~VELSerialPacketDescriptor() = default;

    // The size of the buffer kept for this descriptor.
    virtual std::uint64_t maximumPacketLength() const = 0;

    // Given the buffer's whole contents, oldest byte first: the packet they
    // end with, or nothing. For listening only a non-empty packet counts; as
    // a response descriptor any answer other than nothing completes the
    // request.
    virtual std::optional<std::vector<std::uint8_t>>
    packetMatchingAtEndOfBuffer(std::span<const std::uint8_t> buffer) const = 0;

    // A port listens for equal descriptors once.
    virtual bool isEqual(const VELSerialPacketDescriptor& other) const = 0;
    virtual std::size_t hash() const = 0;
};
