#pragma once

#include <QColor>
#include <QString>
#include <array>

// What one frame tells the clock: six tube digits and their backlights. A
// save frame also asks the clock to keep them.
struct ClockFrame {
    enum class Kind { Time, Save };

    static constexpr int kTubeCount = 6;

    Kind kind = Kind::Time;
    std::array<QString, kTubeCount> digits;  // One character each, possibly outside ASCII.
    std::array<QColor, kTubeCount> colours;

    friend bool operator==(const ClockFrame&, const ClockFrame&) = default;
};
