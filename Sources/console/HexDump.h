#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <span>

// The hex view's rows, in the layout of `hexdump -C`: an eight-digit offset,
// sixteen bytes in two groups of eight, then the printable ASCII between
// bars (anything else as "."):
//
//   00000010  41 42 0D 0A                                       |AB..|
//
// Pure functions; any thread.
class HexDump {
public:
    static constexpr int bytesPerRow = 16;
    // Column of the first hex digit, of the ASCII column's opening bar.
    static constexpr int firstHexColumn = 10;
    static constexpr int asciiBarColumn = firstHexColumn + bytesPerRow * 3 + 1;

    // Rows for `bytes`, the first one numbered `offset`; each row ends in
    // "\n". A chunk that does not fill its last row leaves it short: the next
    // chunk starts a row of its own, so nothing already shown has to change.
    static QString rows(std::span<const std::uint8_t> bytes, std::uint64_t offset);

    // The bytes that a row's columns [fromColumn, toColumn) select: those
    // whose hex digits they touch, or, for a selection that starts in the
    // ASCII part, those whose characters they touch. A line that is no row
    // (a timestamp) yields none.
    static QByteArray bytesOfRow(const QString& row, int fromColumn, int toColumn);

    // "41 42 0D": two upper-case digits a byte, single spaces between.
    static QString hexText(std::span<const std::uint8_t> bytes);
    static QString hexText(const QByteArray& bytes);
};
