#include "console/ReceivedChunks.h"

#include <algorithm>

void ReceivedChunks::append(std::span<const std::uint8_t> bytes, qint64 msecsSinceEpoch)
{
    if (bytes.empty()) {
        return;
    }
    // A single chunk beyond the bound keeps only its newest bytes.
    if (static_cast<qsizetype>(bytes.size()) > maximumBytes) {
        const std::size_t skip = bytes.size() - static_cast<std::size_t>(maximumBytes);
        const std::uint64_t offset = nextOffset_ + skip;
        clear();
        firstOffset_ = nextOffset_ = offset;
        bytes = bytes.subspan(skip);
    }
    index_.push_back({nextOffset_, msecsSinceEpoch});
    bytes_.append(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
    nextOffset_ += bytes.size();
    if (byteCount() > maximumBytes) {
        dropFront(byteCount() - maximumBytes);
    }
    while (index_.size() > maximumChunks) {
        dropFront(static_cast<qsizetype>(index_[1].offset - firstOffset_));
    }
}

void ReceivedChunks::clear()
{
    bytes_.clear();
    start_ = 0;
    firstOffset_ = nextOffset_ = 0;
    index_.clear();
}

ReceivedChunks::Chunk ReceivedChunks::chunk(std::size_t i) const
{
    const Entry& entry = index_[i];
    const std::uint64_t end = i + 1 < index_.size() ? index_[i + 1].offset : nextOffset_;
    const auto* base = reinterpret_cast<const std::uint8_t*>(bytes_.constData()) + start_;
    return {std::span(base + (entry.offset - firstOffset_), static_cast<std::size_t>(end - entry.offset)),
            entry.offset, entry.msecsSinceEpoch};
}

std::size_t ReceivedChunks::chunkIndexAt(std::uint64_t offset) const
{
    const auto after = std::upper_bound(index_.begin(), index_.end(), offset,
                                        [](std::uint64_t value, const Entry& entry) { return value < entry.offset; });
    return static_cast<std::size_t>(after - index_.begin()) - 1;
}

void ReceivedChunks::dropFront(qsizetype count)
{
    start_ += count;
    firstOffset_ += static_cast<std::uint64_t>(count);
    // Whole chunks that are gone leave the index; a chunk cut in two keeps
    // its time and now begins where its kept bytes begin.
    while (index_.size() > 1 && index_[1].offset <= firstOffset_) {
        index_.pop_front();
    }
    if (!index_.empty()) {
        index_.front().offset = std::max(index_.front().offset, firstOffset_);
    }
    // Move the kept bytes down once the dropped ones are the larger part, so
    // that the buffer stays within twice the bound.
    if (start_ > bytes_.size() / 2) {
        bytes_.remove(0, start_);
        start_ = 0;
    }
}
