#include "display/DisplaySettings.h"

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
