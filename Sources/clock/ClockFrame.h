#pragma once

#include <QColor>
#include <QString>
#include <array>

// What one frame tells the clock: six tube digits and their backlights. A
// save frame also asks the clock to keep them.
//
// On the wire a frame is its lead ('/' time, '*' save), then for tube 1 to
// tube 6 the tube's digit text and its colour as RRGGBB (HalodialColor's
// hexString), with no separator, length or checksum. The digit text goes as
// it stands: one character per tube is what the clock reads, and what every
// tick of the sync leaves there. This class writes frames; ClockFrameParser
// reads them back, with the same leads and layout.
struct ClockFrame {
    enum class Kind { Time, Save };

    static constexpr int kTubeCount = 6;
    static constexpr char kTimeLead = '/';
    static constexpr char kSaveLead = '*';
    static constexpr int kColourDigits = 6;
    // A frame with one ASCII character per tube: 43 bytes.
    static constexpr int kPlainLength = 1 + kTubeCount * (1 + kColourDigits);

    Kind kind = Kind::Time;
    std::array<QString, kTubeCount> digits;  // One character each, possibly outside ASCII.
    std::array<QColor, kTubeCount> colours;

    static char leadOf(Kind kind) { return kind == Kind::Save ? kSaveLead : kTimeLead; }

    // The frame as text (before UTF-8): `lead`, then each tube's whole digit
    // text and its colour. A digit text of another length goes as it is (an
    // empty one adds nothing); a colour component outside 0..1 writes more
    // than two hex digits, as hexString does.
    static QString text(QChar lead, const std::array<QString, kTubeCount>& digits,
                        const std::array<QColor, kTubeCount>& colours);
    QString text() const { return text(QLatin1Char(leadOf(kind)), digits, colours); }

    friend bool operator==(const ClockFrame&, const ClockFrame&) = default;
};
