#pragma once

#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>

// What the device sent, as it arrived: the bytes of the newest chunks, with
// each chunk's arrival time and its offset in the stream since the opening.
// The console's views are drawn from it, so switching between text and hex
// loses nothing that is still within the bound.
//
// The byte bound is four times the scrollback's character bound: no
// character of the text view stands for more than four bytes, so whatever
// the text view still holds is here too. The chunk bound keeps the index
// small when a slow line delivers a byte at a time. GUI thread only.
class ReceivedChunks {
public:
    static constexpr qsizetype maximumBytes = 4 * 1024 * 1024;
    static constexpr std::size_t maximumChunks = 1024 * 1024;

    struct Chunk {
        std::span<const std::uint8_t> bytes;
        std::uint64_t offset = 0;
        qint64 msecsSinceEpoch = 0;
    };

    void append(std::span<const std::uint8_t> bytes, qint64 msecsSinceEpoch);
    // Forgets everything; offsets start again at 0.
    void clear();

    std::size_t chunkCount() const { return index_.size(); }
    // The i-th oldest chunk kept; valid until the next append or clear.
    Chunk chunk(std::size_t i) const;
    qsizetype byteCount() const { return bytes_.size() - start_; }
    // Stream offsets of the oldest byte kept and of the next byte to come.
    std::uint64_t firstOffset() const { return firstOffset_; }
    std::uint64_t nextOffset() const { return nextOffset_; }
    // The index of the kept chunk that holds the byte at `offset`, which
    // must lie in [firstOffset(), nextOffset()).
    std::size_t chunkIndexAt(std::uint64_t offset) const;

private:
    struct Entry {
        std::uint64_t offset;
        qint64 msecsSinceEpoch;
    };
    void dropFront(qsizetype count);

    QByteArray bytes_;
    qsizetype start_ = 0;  // bytes_ before this have been dropped
    std::uint64_t firstOffset_ = 0;  // stream offset of bytes_[start_]
    std::uint64_t nextOffset_ = 0;
    std::deque<Entry> index_;
};
