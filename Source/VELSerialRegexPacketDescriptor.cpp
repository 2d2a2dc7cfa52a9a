#include "VELSerialRegexPacketDescriptor.h"

#include <algorithm>
#include <functional>

#include "support/Diagnostics.h"

namespace {

std::regex anchoredAtEnd(const std::string& pattern)
{
    try {
        // Compiled alone first, so that an unbalanced pattern such as "a)|(b"
        // cannot become valid inside the anchoring group.
        std::regex validated(pattern);
        (void)validated;
        return std::regex("(?:" + pattern + ")$");
    } catch (const std::regex_error& error) {
        vel::raise("Invalid packet pattern \"" + pattern + "\": " + error.what());
    }
}

}  // namespace

VELSerialRegexPacketDescriptor::VELSerialRegexPacketDescriptor(std::string pattern, std::uint64_t maximumPacketLength)
    : pattern_(std::move(pattern)), maximumPacketLength_(maximumPacketLength), atEnd_(anchoredAtEnd(pattern_))
{
}

std::optional<std::vector<std::uint8_t>>
VELSerialRegexPacketDescriptor::packetMatchingAtEndOfBuffer(std::span<const std::uint8_t> buffer) const
{
    const std::size_t length = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), maximumPacketLength_));
    const auto* const begin = reinterpret_cast<const char*>(buffer.data() + (buffer.size() - length));
    const auto* const end = begin + length;
    // The leftmost match that must end at the end is the longest tail.
    std::cmatch match;
    if (!std::regex_search(begin, end, match, atEnd_)) {
        return std::nullopt;
    }
    const auto* const first = reinterpret_cast<const std::uint8_t*>(match[0].first);
    return std::vector<std::uint8_t>(first, reinterpret_cast<const std::uint8_t*>(end));
}

bool VELSerialRegexPacketDescriptor::isEqual(const VELSerialPacketDescriptor& other) const
{
    const auto* that = dynamic_cast<const VELSerialRegexPacketDescriptor*>(&other);
    return that != nullptr && maximumPacketLength_ == that->maximumPacketLength_ && pattern_ == that->pattern_;
}

std::size_t VELSerialRegexPacketDescriptor::hash() const
{
    const std::size_t seed = std::hash<std::string>{}(pattern_);
    return seed ^ (std::hash<std::uint64_t>{}(maximumPacketLength_) + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2));
}
