#include "console/HexDump.h"

#include "console/HexInput.h"

#include <algorithm>

namespace {

constexpr char digits[] = "0123456789ABCDEF";

int hexColumnOf(int index)
{
    // A second space between the two groups of eight.
    return HexDump::firstHexColumn + index * 3 + (index >= 8 ? 1 : 0);
}

}  // namespace

QString HexDump::rows(std::span<const std::uint8_t> bytes, std::uint64_t offset)
{
    const std::size_t rowCount = (bytes.size() + bytesPerRow - 1) / bytesPerRow;
    QString text;
    text.reserve(static_cast<qsizetype>(rowCount) * (asciiBarColumn + bytesPerRow + 3));
    for (std::size_t start = 0; start < bytes.size(); start += bytesPerRow) {
        const auto row = bytes.subspan(start, std::min<std::size_t>(bytesPerRow, bytes.size() - start));
        const std::uint64_t rowOffset = offset + start;
        for (int shift = 28; shift >= 0; shift -= 4) {
            text += QLatin1Char(digits[(rowOffset >> shift) & 0x0F]);
        }
        text += QLatin1String("  ");
        for (int i = 0; i < bytesPerRow; ++i) {
            if (i == 8) {
                text += QLatin1Char(' ');
            }
            if (static_cast<std::size_t>(i) < row.size()) {
                text += QLatin1Char(digits[row[i] >> 4]);
                text += QLatin1Char(digits[row[i] & 0x0F]);
                text += QLatin1Char(' ');
            } else {
                text += QLatin1String("   ");
            }
        }
        text += QLatin1Char('|');
        for (const std::uint8_t byte : row) {
            text += QLatin1Char(byte >= 0x20 && byte < 0x7F ? static_cast<char>(byte) : '.');
        }
        text += QLatin1String("|\n");
    }
    return text;
}

QByteArray HexDump::bytesOfRow(const QString& row, int fromColumn, int toColumn)
{
    QByteArray bytes;
    if (row.size() < asciiBarColumn + 2 || row.at(asciiBarColumn) != QLatin1Char('|')) {
        return bytes;
    }
    for (int i = 0; i < 8; ++i) {
        if (HexInput::hexValue(row.at(i)) < 0) {
            return bytes;
        }
    }
    const int asciiStart = asciiBarColumn + 1;
    for (int i = 0; i < bytesPerRow; ++i) {
        const int column = hexColumnOf(i);
        const int high = HexInput::hexValue(row.at(column));
        const int low = HexInput::hexValue(row.at(column + 1));
        if (high < 0 || low < 0) {
            break;  // The short last row of a chunk.
        }
        // A selection that reaches into the hex part is read there; one that
        // lies in the ASCII part alone, by its characters.
        const bool selected = fromColumn < asciiBarColumn ? fromColumn < column + 2 && toColumn > column
                                                          : fromColumn <= asciiStart + i && toColumn > asciiStart + i;
        if (selected) {
            bytes += static_cast<char>(high << 4 | low);
        }
    }
    return bytes;
}

QString HexDump::hexText(std::span<const std::uint8_t> bytes)
{
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size()) * 3);
    for (const std::uint8_t byte : bytes) {
        if (!text.isEmpty()) {
            text += QLatin1Char(' ');
        }
        text += QLatin1Char(digits[byte >> 4]);
        text += QLatin1Char(digits[byte & 0x0F]);
    }
    return text;
}

QString HexDump::hexText(const QByteArray& bytes)
{
    return hexText(std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                             static_cast<std::size_t>(bytes.size())));
}
