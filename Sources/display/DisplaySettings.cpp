#include "display/DisplaySettings.h"

#include <algorithm>

std::array<QColor, DisplaySettings::tubeCount> DisplaySettings::themeColours(Theme theme,
                                                                            const std::array<QColor, tubeCount>& own)
{
    QRgb rgb = 0;
    switch (theme) {
    case Theme::Own:
        return own;
    case Theme::NixieOrange:
        rgb = 0xFF7A1A;
        break;
    case Theme::IceBlue:
        rgb = 0x8FD8FF;
        break;
    case Theme::Mint:
        rgb = 0x5CFFB0;
        break;
    case Theme::Violet:
        rgb = 0x9A4DFF;
        break;
    }
    std::array<QColor, tubeCount> colours;
    colours.fill(QColor(rgb));
    return colours;
}

DisplaySettings::DateOrder DisplaySettings::dateOrderOf(const QLocale& locale)
{
    const QString format = locale.dateFormat(QLocale::ShortFormat);
    const auto day = format.indexOf(QLatin1Char('d'));
    const auto month = format.indexOf(QLatin1Char('M'));
    const auto year = format.indexOf(QLatin1Char('y'));
    if (day < 0 || month < 0 || year < 0) {
        return DateOrder::DayMonthYear;
    }
    if (year < month && month < day) {
        return DateOrder::YearMonthDay;
    }
    if (month < day) {
        return DateOrder::MonthDayYear;
    }
    return DateOrder::DayMonthYear;
}

DisplaySettings DisplaySettings::bounded() const
{
    constexpr int lastMinute = 24 * 60 - 1;
    DisplaySettings s = *this;
    s.dateEveryMinutes = std::clamp(s.dateEveryMinutes, 0, maximumDateEveryMinutes);
    s.dateSeconds = std::clamp(s.dateSeconds, 1, maximumDateSeconds);
    s.nightFrom = std::clamp(s.nightFrom, 0, lastMinute);
    s.nightTo = std::clamp(s.nightTo, 0, lastMinute);
    s.nightEnabled = s.nightEnabled && s.nightFrom != s.nightTo;
    s.nightDimPercent = std::clamp(s.nightDimPercent, 1, 100);
    if (!s.nightColour.isValid()) {
        s.nightColour = QColor(Qt::black);
    }
    s.nightFadeSeconds = std::clamp(s.nightFadeSeconds, 0, maximumFadeSeconds);
    s.effectSpeed = std::clamp(s.effectSpeed, minimumSpeed, maximumSpeed);
    for (int& percent : s.brightness) {
        percent = std::clamp(percent, minimumBrightness, 100);
    }
    s.antiPoisoningAt = std::clamp(s.antiPoisoningAt, 0, lastMinute);
    s.antiPoisoningEveryHours = std::clamp(s.antiPoisoningEveryHours, 0, 24);
    s.antiPoisoningSeconds = std::clamp(s.antiPoisoningSeconds, 1, 3600);
    return s;
}
