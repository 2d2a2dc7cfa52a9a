#pragma once

#include <QString>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

// Turns what a device sends into console text. A device writes a stream,
// not messages: a character may be split across two reads, and a noisy line
// or a wrong baud rate produces bytes that are no UTF-8 at all. So an
// unfinished character at the end of a chunk waits for the next chunk, and
// every byte that cannot be read as UTF-8 shows as a visible \xNN escape;
// nothing received disappears.
//
// Control characters other than TAB, CR and LF show as their Unicode
// control pictures (U+2400 to U+241F, DEL as U+2421), so that a NUL or an
// escape sequence is seen rather than acting on the view or vanishing.
//
// Line breaks come as CR, LF or CR LF depending on the device; each becomes
// one "\n", also when CR and LF arrive in different chunks.
class ConsoleDecoder {
public:
    QString decode(std::span<const std::uint8_t> bytes);

    // Forgets an unfinished character and a pending CR: the next bytes come
    // from another port or another opening, and do not continue these.
    void reset();

    // Bytes of an unfinished character waiting for the next chunk.
    std::size_t pendingByteCount() const { return carryLength_; }

private:
    void appendLineBreak(QString& text, bool isLineFeed);

    // The longest unfinished sequence is three bytes of a four-byte one.
    std::array<std::uint8_t, 3> carry_{};
    std::size_t carryLength_ = 0;
    bool lastWasCarriageReturn_ = false;
};
