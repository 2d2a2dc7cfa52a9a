#include "console/HexInput.h"

#include <algorithm>

namespace {

bool isSeparator(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char(',');
}

}  // namespace

int HexInput::hexValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9') {
        return u - '0';
    }
    if (u >= 'A' && u <= 'F') {
        return u - 'A' + 10;
    }
    if (u >= 'a' && u <= 'f') {
        return u - 'a' + 10;
    }
    return -1;
}

HexInput::Result HexInput::parse(const QString& input)
{
    Result result;
    qsizetype i = 0;
    const qsizetype n = input.size();
    while (i < n) {
        if (isSeparator(input.at(i))) {
            ++i;
            continue;
        }
        // A word runs to the next separator and holds whole bytes.
        qsizetype end = i;
        while (end < n && !isSeparator(input.at(end))) {
            ++end;
        }
        for (qsizetype k = i; k < end; k += 2) {
            const int high = hexValue(input.at(k));
            const int low = k + 1 < end ? hexValue(input.at(k + 1)) : -1;
            if (high < 0 || low < 0) {
                const qsizetype length = std::min<qsizetype>(2, end - k);
                const QString byte = input.mid(k, length);
                result.errorStart = k;
                result.errorLength = length;
                result.error = length < 2 && high >= 0
                                   ? tr("\"%1\" at position %2 is half a byte: write each byte as two hex "
                                        "digits (0A, not A).")
                                         .arg(byte)
                                         .arg(k + 1)
                                   : tr("\"%1\" at position %2 is not a hex byte: use the digits 0-9 and "
                                        "A-F, two for each byte (41 42 0D).")
                                         .arg(byte)
                                         .arg(k + 1);
                result.bytes.clear();
                return result;
            }
            result.bytes += static_cast<char>(high << 4 | low);
        }
        i = end;
    }
    return result;
}
