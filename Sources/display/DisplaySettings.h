#pragma once

#include <QColor>
#include <QLocale>
#include <QString>
#include <array>

// What the tubes show besides the plain time, and how they are lit: one
// field per choice, so that a window control, a command-line option, a line
// of the settings file or a remote property each map onto one field.
//
// The defaults are the plain clock: 24 hours, the user's own six colours,
// no effect, full brightness, no date, no night, no cathode cycle. With them
// every frame is the one Halodial sent before these choices existed.
//
// A value type; any thread. DisplayText parses and checks every text form;
// bounded() brings values set otherwise into their ranges.
struct DisplaySettings {
    static constexpr int tubeCount = 6;

    enum class DateOrder { Locale, DayMonthYear, MonthDayYear, YearMonthDay };
    enum class NightAction { Dim, Colour, Off };
    enum class Theme { Own, NixieOrange, IceBlue, Mint, Violet };
    enum class Effect { Static, Rainbow, HueWave, Breathing, Pulse };

    static constexpr int minimumSpeed = 1;
    static constexpr int maximumSpeed = 10;
    static constexpr int minimumBrightness = 10;
    static constexpr int maximumFadeSeconds = 3600;
    static constexpr int maximumDateSeconds = 59;
    static constexpr int maximumDateEveryMinutes = 1440;

    // The time: 12-hour tubes show 12 at noon and midnight; without the
    // leading zero the first tube holds a space before ten o'clock.
    bool twelveHour = false;
    bool leadingZero = true;

    // The date, in the first dateSeconds of every dateEveryMinutes-th minute
    // of the day (0: never), in its own colour when dateColour is valid.
    int dateEveryMinutes = 0;
    int dateSeconds = 5;
    DateOrder dateOrder = DateOrder::Locale;
    QColor dateColour;

    // Night: from nightFrom to nightTo (minutes of the day; across midnight
    // when nightFrom is later), fading in and out over nightFadeSeconds.
    bool nightEnabled = false;
    int nightFrom = 22 * 60;
    int nightTo = 7 * 60;
    NightAction nightAction = NightAction::Dim;
    int nightDimPercent = 20;  // 1 to 100
    QColor nightColour = QColor(0x40, 0x08, 0x00);
    int nightFadeSeconds = 0;

    Theme theme = Theme::Own;
    Effect effect = Effect::Static;
    int effectSpeed = 5;  // minimumSpeed to maximumSpeed

    // Per tube, percent (minimumBrightness to 100), applied last.
    std::array<int, tubeCount> brightness{100, 100, 100, 100, 100, 100};

    // The cathode cycle: every tube runs through 0 to 9 for
    // antiPoisoningSeconds, at antiPoisoningAt (minute of the day) or, when
    // antiPoisoningEveryHours is above 0, at the start of every such hour.
    bool antiPoisoningEnabled = false;
    int antiPoisoningAt = 3 * 60;
    int antiPoisoningEveryHours = 0;
    int antiPoisoningSeconds = 180;

    // The same with every number in its range (a minute of the day within
    // the day, percentages and speeds within their bounds, a colour that is
    // not valid as none or black); night from a time to itself is no night.
    DisplaySettings bounded() const;

    // Whether anything changes between the points of the grid.
    bool moves() const { return effect != Effect::Static; }

    // The six colours of a named theme; the user's own for Theme::Own.
    static std::array<QColor, tubeCount> themeColours(Theme theme, const std::array<QColor, tubeCount>& own);
    // Day, month and year as the locale's short date writes them; day first
    // when the format says nothing clear.
    static DateOrder dateOrderOf(const QLocale& locale);

    friend bool operator==(const DisplaySettings&, const DisplaySettings&) = default;
};
