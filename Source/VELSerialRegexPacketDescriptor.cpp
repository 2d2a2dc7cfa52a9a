#include "VELSerialRegexPacketDescriptor.h"

#include <algorithm>
#include <functional>
#include <re2/re2.h>

#include "support/Diagnostics.h"

namespace {

RE2::Options latin1Options()
{
    RE2::Options options;
    options.set_encoding(RE2::Options::EncodingLatin1);
    options.set_log_errors(false);
    // Leftmost-longest from the end: the longest tail that matches.
    options.set_longest_match(false);
    return options;
}

std::unique_ptr<const re2::RE2> anchoredAtEnd(const std::string& pattern)
{
    // Compiled alone first, so that an unbalanced pattern such as "a)|(b"
    // cannot become valid inside the anchoring group.
    const RE2 validated(pattern, latin1Options());
    if (!validated.ok()) {
        vel::raise("Invalid packet pattern \"" + pattern + "\": " + validated.error());
    }
    auto anchored = std::make_unique<const RE2>("(?:" + pattern + ")$", latin1Options());
    if (!anchored->ok()) {
        vel::raise("Invalid packet pattern \"" + pattern + "\": " + anchored->error());
    }
    return anchored;
}

}  // namespace

VELSerialRegexPacketDescriptor::VELSerialRegexPacketDescriptor(std::string pattern, std::uint64_t maximumPacketLength)
    : pattern_(std::move(pattern)), maximumPacketLength_(maximumPacketLength), atEnd_(anchoredAtEnd(pattern_))
{
}

VELSerialRegexPacketDescriptor::~VELSerialRegexPacketDescriptor() = default;

std::optional<std::vector<std::uint8_t>>
VELSerialRegexPacketDescriptor::packetMatchingAtEndOfBuffer(std::span<const std::uint8_t> buffer) const
{
    const std::size_t length = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), maximumPacketLength_));
    const auto* const begin = reinterpret_cast<const char*>(buffer.data() + (buffer.size() - length));
    const re2::StringPiece tail(begin, length);
    // The leftmost match that must end at the end is the longest tail.
    re2::StringPiece match;
    if (!atEnd_->Match(tail, 0, tail.size(), RE2::UNANCHORED, &match, 1)) {
        return std::nullopt;
    }
    const auto* const first = reinterpret_cast<const std::uint8_t*>(match.data());
    return std::vector<std::uint8_t>(first, first + match.size());
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
