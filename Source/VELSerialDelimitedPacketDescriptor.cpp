#include "VELSerialDelimitedPacketDescriptor.h"

#include <algorithm>
#include <functional>
#include <string_view>

namespace {

std::size_t hashBytes(const std::vector<std::uint8_t>& bytes)
{
    return std::hash<std::string_view>{}(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::size_t combine(std::size_t seed, std::size_t value)
{
    return seed ^ (value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2));
}

}  // namespace

VELSerialDelimitedPacketDescriptor::VELSerialDelimitedPacketDescriptor(std::vector<std::uint8_t> prefix,
                                                                       std::vector<std::uint8_t> suffix,
                                                                       std::uint64_t maximumPacketLength)
    : prefix_(std::move(prefix)), suffix_(std::move(suffix)), maximumPacketLength_(maximumPacketLength)
{
}

std::optional<std::vector<std::uint8_t>>
VELSerialDelimitedPacketDescriptor::packetMatchingAtEndOfBuffer(std::span<const std::uint8_t> buffer) const
{
    const std::size_t shortest = prefix_.size() + suffix_.size();
    const std::size_t longest =
        static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), maximumPacketLength_));
    // The suffix is tested first: it fails on almost every byte, and the
    // prefix search below runs only when it holds.
    if (longest < shortest || !std::equal(suffix_.rbegin(), suffix_.rend(), buffer.rbegin())) {
        return std::nullopt;
    }
    for (std::size_t length = shortest; length <= longest; ++length) {
        const auto start = buffer.end() - static_cast<std::ptrdiff_t>(length);
        if (std::equal(prefix_.begin(), prefix_.end(), start)) {
            return std::vector<std::uint8_t>(start, buffer.end());
        }
    }
    return std::nullopt;
}

bool VELSerialDelimitedPacketDescriptor::isEqual(const VELSerialPacketDescriptor& other) const
{
    const auto* that = dynamic_cast<const VELSerialDelimitedPacketDescriptor*>(&other);
    return that != nullptr && maximumPacketLength_ == that->maximumPacketLength_ && prefix_ == that->prefix_ &&
           suffix_ == that->suffix_;
}

std::size_t VELSerialDelimitedPacketDescriptor::hash() const
{
    return combine(combine(hashBytes(prefix_), hashBytes(suffix_)), std::hash<std::uint64_t>{}(maximumPacketLength_));
}
