#include "display/DisplayComposer.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr int dayMilliseconds = 24 * 60 * 60 * 1000;
constexpr int tubes = DisplaySettings::tubeCount;
using Colours = std::array<QColor, tubes>;

QString twoDigits(int value)
{
    return QString::number(value).rightJustified(2, QLatin1Char('0'));
}

QColor scaled(const QColor& colour, double factor)
{
    return QColor::fromRgbF(static_cast<float>(colour.redF() * factor), static_cast<float>(colour.greenF() * factor),
                            static_cast<float>(colour.blueF() * factor));
}

QColor mixed(const QColor& from, const QColor& to, double level)
{
    const auto mix = [level](double a, double b) { return static_cast<float>(a + (b - a) * level); };
    return QColor::fromRgbF(mix(from.redF(), to.redF()), mix(from.greenF(), to.greenF()),
                            mix(from.blueF(), to.blueF()));
}

double fraction(double value)
{
    return value - std::floor(value);
}

// The effect's colours at `seconds` since the epoch; the speed scales the
// time, so one speed step is the same change of pace for every effect.
Colours withEffect(Colours colours, const DisplaySettings& settings, double seconds)
{
    const double pace = seconds * settings.effectSpeed * 0.05;
    switch (settings.effect) {
    case DisplaySettings::Effect::Static:
        break;
    case DisplaySettings::Effect::Rainbow:
        // The spectrum laid across the six tubes, turning; each tube keeps
        // its own colour's brightness.
        for (int i = 0; i < tubes; ++i) {
            colours[i] = QColor::fromHsvF(static_cast<float>(fraction(i / double(tubes) + pace)), 1.0f,
                                          colours[i].valueF());
        }
        break;
    case DisplaySettings::Effect::HueWave:
        // Each tube's hue swings a little around its own, the swing running
        // from tube 1 to tube 6.
        for (int i = 0; i < tubes; ++i) {
            float hue = 0, saturation = 0, value = 0;
            colours[i].getHsvF(&hue, &saturation, &value);
            const double swing = 0.1 * std::sin(2 * std::numbers::pi * (2 * pace - i / double(tubes)));
            colours[i] = QColor::fromHsvF(static_cast<float>(fraction(std::max(0.0f, hue) + swing)), saturation, value);
        }
        break;
    case DisplaySettings::Effect::Breathing: {
        const double factor = 0.15 + 0.85 * (0.5 + 0.5 * std::cos(2 * std::numbers::pi * pace));
        for (QColor& colour : colours) {
            colour = scaled(colour, factor);
        }
        break;
    }
    case DisplaySettings::Effect::Pulse: {
        // Full at each new second, falling to a quarter, the faster the
        // higher the speed.
        const double length = 1.0 - settings.effectSpeed * 0.07;
        const double into = fraction(seconds);
        const double factor = into < length ? 1.0 - 0.75 * into / length : 0.25;
        for (QColor& colour : colours) {
            colour = scaled(colour, factor);
        }
        break;
    }
    }
    return colours;
}

Colours atNight(Colours colours, const DisplaySettings& settings, double level)
{
    if (level <= 0) {
        return colours;
    }
    for (QColor& colour : colours) {
        switch (settings.nightAction) {
        case DisplaySettings::NightAction::Dim:
            colour = scaled(colour, 1.0 - level * (1.0 - settings.nightDimPercent / 100.0));
            break;
        case DisplaySettings::NightAction::Colour:
            colour = mixed(colour, settings.nightColour, level);
            break;
        case DisplaySettings::NightAction::Off:
            colour = level >= 1 ? QColor(Qt::black) : mixed(colour, QColor(Qt::black), level);
            break;
        }
    }
    return colours;
}

}  // namespace

QString DisplayComposer::timeDigits(const QTime& time, const DisplaySettings& settings)
{
    int hour = time.hour();
    if (settings.twelveHour) {
        hour = hour % 12 == 0 ? 12 : hour % 12;
    }
    QString hours = twoDigits(hour);
    if (settings.twelveHour && !settings.leadingZero && hour < 10) {
        hours[0] = QLatin1Char(' ');
    }
    return hours + twoDigits(time.minute()) + twoDigits(time.second());
}

QString DisplayComposer::dateDigits(const QDate& date, DisplaySettings::DateOrder order)
{
    const QString day = twoDigits(date.day());
    const QString month = twoDigits(date.month());
    const QString year = twoDigits(date.year() % 100);
    switch (order) {
    case DisplaySettings::DateOrder::MonthDayYear:
        return month + day + year;
    case DisplaySettings::DateOrder::YearMonthDay:
        return year + month + day;
    case DisplaySettings::DateOrder::Locale:
    case DisplaySettings::DateOrder::DayMonthYear:
        break;
    }
    return day + month + year;
}

QString DisplayComposer::countdownDigits(qint64 millisecondsLeft)
{
    // Whole seconds left, rounded up: the tubes read 000000 only at zero.
    const qint64 seconds = std::min<qint64>((std::max<qint64>(millisecondsLeft, 0) + 999) / 1000, 99 * 3600 + 59 * 60 + 59);
    return twoDigits(static_cast<int>(seconds / 3600)) + twoDigits(static_cast<int>(seconds / 60 % 60)) +
           twoDigits(static_cast<int>(seconds % 60));
}

double DisplayComposer::nightLevel(const DisplaySettings& settings, int millisecondsOfDay)
{
    if (!settings.nightEnabled || settings.nightFrom == settings.nightTo) {
        return 0;
    }
    const int from = settings.nightFrom * 60 * 1000;
    const int to = settings.nightTo * 60 * 1000;
    const auto since = [millisecondsOfDay](int edge) {
        const int distance = millisecondsOfDay - edge;
        return distance < 0 ? distance + dayMilliseconds : distance;
    };
    const bool night = from < to ? millisecondsOfDay >= from && millisecondsOfDay < to
                                 : millisecondsOfDay >= from || millisecondsOfDay < to;
    const double fade = settings.nightFadeSeconds * 1000.0;
    if (night) {
        return fade <= 0 ? 1.0 : std::min(1.0, since(from) / fade);
    }
    return fade <= 0 ? 0.0 : std::max(0.0, 1.0 - since(to) / fade);
}

bool DisplayComposer::cyclesAt(const DisplaySettings& settings, int millisecondsOfDay, int* elapsed)
{
    if (!settings.antiPoisoningEnabled) {
        return false;
    }
    int start = settings.antiPoisoningAt * 60 * 1000;
    if (settings.antiPoisoningEveryHours > 0) {
        const int period = settings.antiPoisoningEveryHours * 3600 * 1000;
        start = millisecondsOfDay / period * period;
    }
    int into = millisecondsOfDay - start;
    if (into < 0) {
        into += dayMilliseconds;
    }
    if (into >= settings.antiPoisoningSeconds * 1000) {
        return false;
    }
    if (elapsed) {
        *elapsed = into;
    }
    return true;
}

DisplayComposer::Shown DisplayComposer::compose(qint64 instant, const QDateTime& local,
                                                const DisplaySettings& settings, const DisplayState& state,
                                                const Colours& own, DisplaySettings::DateOrder localeOrder)
{
    const QTime time = local.time();
    const int ofDay = time.msecsSinceStartOfDay();
    const double night = nightLevel(settings, ofDay);
    const bool dark = night > 0 && settings.nightAction == DisplaySettings::NightAction::Off;

    Shown shown;
    shown.moving = settings.moves();
    shown.colours = withEffect(DisplaySettings::themeColours(settings.theme, own), settings, instant / 1000.0);
    int cycled = 0;
    if (state.showsCustomAt(instant)) {
        shown.digits = state.customDigits.leftJustified(tubes, QLatin1Char(' '), true);
    } else if (state.countsDownAt(instant)) {
        const qint64 left = *state.countdownEnd - instant;
        shown.digits = countdownDigits(left);
        // Three flashes after zero: lit in the first half of each second.
        if (left <= 0 && (-left) % 1000 >= 500) {
            shown.colours.fill(QColor(Qt::black));
        }
    } else if (!dark && cyclesAt(settings, ofDay, &cycled)) {
        // The slot machine: every tube one digit on from its left
        // neighbour, ten digits a second.
        for (int i = 0; i < tubes; ++i) {
            shown.digits += QChar(u'0' + (cycled / 100 + i) % 10);
        }
        shown.moving = true;
    } else if (settings.dateEveryMinutes > 0 && (ofDay / 60000) % settings.dateEveryMinutes == 0 &&
               time.second() < settings.dateSeconds) {
        const auto order = settings.dateOrder == DisplaySettings::DateOrder::Locale ? localeOrder : settings.dateOrder;
        shown.digits = dateDigits(local.date(), order);
        if (settings.dateColour.isValid()) {
            shown.colours.fill(settings.dateColour);
        }
    } else {
        shown.digits = timeDigits(time, settings);
    }
    shown.colours = atNight(shown.colours, settings, night);
    for (int i = 0; i < tubes; ++i) {
        if (settings.brightness[i] < 100) {
            shown.colours[i] = scaled(shown.colours[i], settings.brightness[i] / 100.0);
        }
    }
    return shown;
}
