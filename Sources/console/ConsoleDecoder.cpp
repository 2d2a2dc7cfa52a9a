#include "console/ConsoleDecoder.h"

#include <vector>

namespace {

struct SequenceShape {
    std::size_t length = 0;  // 0: the byte cannot start a character.
    std::uint8_t secondLow = 0x80;
    std::uint8_t secondHigh = 0xBF;
};

// The ranges of the second byte exclude overlong forms, UTF-16 surrogates and
// code points above U+10FFFF, so that only what UTF-8 allows passes.
SequenceShape shapeOf(std::uint8_t lead)
{
    if (lead >= 0xC2 && lead <= 0xDF) {
        return {2};
    }
    if (lead == 0xE0) {
        return {3, 0xA0, 0xBF};
    }
    if (lead == 0xED) {
        return {3, 0x80, 0x9F};
    }
    if (lead >= 0xE1 && lead <= 0xEF) {
        return {3};
    }
    if (lead == 0xF0) {
        return {4, 0x90, 0xBF};
    }
    if (lead >= 0xF1 && lead <= 0xF3) {
        return {4};
    }
    if (lead == 0xF4) {
        return {4, 0x80, 0x8F};
    }
    return {};
}

void appendEscape(QString& text, std::uint8_t byte)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    text += QLatin1String("\\x");
    text += QLatin1Char(digits[byte >> 4]);
    text += QLatin1Char(digits[byte & 0x0F]);
}

// TAB counts as printable: it lays out as itself.
bool isPrintableAscii(std::uint8_t byte)
{
    return (byte >= 0x20 && byte < 0x7F) || byte == '\t';
}

bool isContinuation(std::uint8_t byte)
{
    return (byte & 0xC0) == 0x80;
}

}  // namespace

QString ConsoleDecoder::decode(std::span<const std::uint8_t> bytes)
{
    std::vector<std::uint8_t> joined;
    if (carryLength_ > 0) {
        joined.assign(carry_.begin(), carry_.begin() + static_cast<std::ptrdiff_t>(carryLength_));
        joined.insert(joined.end(), bytes.begin(), bytes.end());
        bytes = joined;
        carryLength_ = 0;
    }

    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size()));
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        const std::uint8_t lead = bytes[i];
        if (lead < 0x80) {
            if (lead == '\r' || lead == '\n') {
                appendLineBreak(text, lead == '\n');
                ++i;
                continue;
            }
            lastWasCarriageReturn_ = false;
            if (!isPrintableAscii(lead)) {
                // A control character would act on the view (or vanish):
                // show its picture instead (U+2400 + code, DEL U+2421).
                text += QChar(lead == 0x7F ? char16_t{0x2421} : static_cast<char16_t>(0x2400 + lead));
                ++i;
                continue;
            }
            // Plain ASCII is nearly all a clock says: take it a run at a time.
            std::size_t end = i + 1;
            while (end < n && isPrintableAscii(bytes[end])) {
                ++end;
            }
            text += QLatin1String(reinterpret_cast<const char*>(bytes.data() + i), static_cast<qsizetype>(end - i));
            lastWasCarriageReturn_ = false;
            i = end;
            continue;
        }

        const SequenceShape shape = shapeOf(lead);
        std::size_t k = 1;
        for (; shape.length > 0 && k < shape.length && i + k < n; ++k) {
            const std::uint8_t byte = bytes[i + k];
            const bool fits = k == 1 ? byte >= shape.secondLow && byte <= shape.secondHigh : isContinuation(byte);
            if (!fits) {
                break;
            }
        }
        if (shape.length > 0 && k < shape.length && i + k == n) {
            // So far a valid beginning: the rest is in the next chunk.
            carryLength_ = n - i;
            std::copy(bytes.begin() + static_cast<std::ptrdiff_t>(i), bytes.end(), carry_.begin());
            break;
        }
        lastWasCarriageReturn_ = false;
        if (shape.length == 0 || k < shape.length) {
            // Only the lead is escaped here; a broken sequence's other bytes
            // are stray continuations and get their own escapes in turn.
            appendEscape(text, lead);
            ++i;
            continue;
        }
        char32_t codePoint = lead & (0xFF >> (shape.length + 1));
        for (std::size_t j = 1; j < shape.length; ++j) {
            codePoint = (codePoint << 6) | (bytes[i + j] & 0x3F);
        }
        text += QString::fromUcs4(&codePoint, 1);
        i += shape.length;
    }
    return text;
}

void ConsoleDecoder::reset()
{
    carryLength_ = 0;
    lastWasCarriageReturn_ = false;
}

void ConsoleDecoder::appendLineBreak(QString& text, bool isLineFeed)
{
    // The LF of a CR LF pair: the CR already broke the line.
    if (!(isLineFeed && lastWasCarriageReturn_)) {
        text += QLatin1Char('\n');
    }
    lastWasCarriageReturn_ = !isLineFeed;
}
