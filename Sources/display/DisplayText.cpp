#include "display/DisplayText.h"

#include <QRegularExpression>
#include <algorithm>

namespace {

using Theme = DisplaySettings::Theme;
using Effect = DisplaySettings::Effect;
using DateOrder = DisplaySettings::DateOrder;
using NightAction = DisplaySettings::NightAction;

const QList<QPair<Theme, QString>> themeKeys{{Theme::Own, QStringLiteral("own")},
                                             {Theme::NixieOrange, QStringLiteral("nixie-orange")},
                                             {Theme::IceBlue, QStringLiteral("ice-blue")},
                                             {Theme::Mint, QStringLiteral("mint")},
                                             {Theme::Violet, QStringLiteral("violet")}};
const QList<QPair<Effect, QString>> effectKeys{{Effect::Static, QStringLiteral("static")},
                                               {Effect::Rainbow, QStringLiteral("rainbow")},
                                               {Effect::HueWave, QStringLiteral("hue-wave")},
                                               {Effect::Breathing, QStringLiteral("breathing")},
                                               {Effect::Pulse, QStringLiteral("pulse")}};
const QList<QPair<DateOrder, QString>> orderKeys{{DateOrder::Locale, QStringLiteral("locale")},
                                                 {DateOrder::DayMonthYear, QStringLiteral("DDMMYY")},
                                                 {DateOrder::MonthDayYear, QStringLiteral("MMDDYY")},
                                                 {DateOrder::YearMonthDay, QStringLiteral("YYMMDD")}};

template <typename T>
std::optional<T> lookUp(const QList<QPair<T, QString>>& table, const QString& text)
{
    // "Nixie orange", "nixie_orange" and "NIXIE-ORANGE" all name one theme.
    QString key = text.trimmed().toLower();
    key.replace(QLatin1Char(' '), QLatin1Char('-')).replace(QLatin1Char('_'), QLatin1Char('-'));
    for (const auto& [value, name] : table) {
        if (name.toLower() == key) {
            return value;
        }
    }
    return std::nullopt;
}

template <typename T>
QString nameOf(const QList<QPair<T, QString>>& table, T value)
{
    for (const auto& [candidate, name] : table) {
        if (candidate == value) {
            return name;
        }
    }
    return table.constFirst().second;
}

// A whole number in [low, high], digits only (toInt would take a sign or
// blanks too).
std::optional<int> numberIn(const QString& text, int low, int high)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,5}$"));
    if (!digits.match(text).hasMatch()) {
        return std::nullopt;
    }
    const int value = text.toInt();
    return value >= low && value <= high ? std::optional<int>(value) : std::nullopt;
}

std::optional<QColor> colourOf(QString text)
{
    static const QRegularExpression hex(QStringLiteral("^#?[0-9A-Fa-f]{6}$"));
    if (!hex.match(text).hasMatch()) {
        return std::nullopt;
    }
    if (text.startsWith(QLatin1Char('#'))) {
        text.remove(0, 1);
    }
    return QColor::fromRgb(text.toUInt(nullptr, 16));
}

QString hexOf(const QColor& colour)
{
    return colour.name(QColor::HexRgb).mid(1).toUpper();
}

bool applyHours(const QString& value, DisplaySettings& s)
{
    if (value == QLatin1String("24")) {
        s.twelveHour = false;
        s.leadingZero = true;
    } else if (value == QLatin1String("12") || value == QLatin1String("12-space")) {
        s.twelveHour = true;
        s.leadingZero = value == QLatin1String("12");
    } else {
        return false;
    }
    return true;
}

bool applyDateEvery(const QString& value, DisplaySettings& s)
{
    if (value == QLatin1String("off")) {
        s.dateEveryMinutes = 0;
        return true;
    }
    const QStringList parts = value.split(QLatin1Char(':'));
    const auto minutes = parts.size() == 2 ? numberIn(parts[0], 1, DisplaySettings::maximumDateEveryMinutes) : std::nullopt;
    const auto seconds = parts.size() == 2 ? numberIn(parts[1], 1, DisplaySettings::maximumDateSeconds) : std::nullopt;
    if (!minutes || !seconds) {
        return false;
    }
    s.dateEveryMinutes = *minutes;
    s.dateSeconds = *seconds;
    return true;
}

bool applyNight(const QString& value, DisplaySettings& s)
{
    if (value == QLatin1String("off")) {
        s.nightEnabled = false;
        return true;
    }
    const QStringList parts = value.split(QLatin1Char('-'));
    const int from = parts.size() == 2 ? DisplayText::minutesOf(parts[0]) : -1;
    const int to = parts.size() == 2 ? DisplayText::minutesOf(parts[1]) : -1;
    if (from < 0 || to < 0 || from == to) {
        return false;
    }
    s.nightEnabled = true;
    s.nightFrom = from;
    s.nightTo = to;
    return true;
}

bool applyNightAction(const QString& value, DisplaySettings& s)
{
    if (value == QLatin1String("off")) {
        s.nightAction = NightAction::Off;
        return true;
    }
    if (value.startsWith(QLatin1String("dim:"))) {
        const auto percent = numberIn(value.mid(4), 1, 100);
        if (percent) {
            s.nightAction = NightAction::Dim;
            s.nightDimPercent = *percent;
        }
        return percent.has_value();
    }
    if (value.startsWith(QLatin1String("color:"))) {
        const auto colour = colourOf(value.mid(6));
        if (colour) {
            s.nightAction = NightAction::Colour;
            s.nightColour = *colour;
        }
        return colour.has_value();
    }
    return false;
}

bool applyEffect(const QString& value, DisplaySettings& s)
{
    const QStringList parts = value.split(QLatin1Char(':'));
    const auto effect = parts.size() <= 2 ? lookUp(effectKeys, parts[0]) : std::nullopt;
    const auto speed = parts.size() == 2 ? numberIn(parts[1], DisplaySettings::minimumSpeed, DisplaySettings::maximumSpeed)
                                         : std::optional<int>(s.effectSpeed);
    if (!effect || !speed) {
        return false;
    }
    s.effect = *effect;
    s.effectSpeed = *speed;
    return true;
}

bool applyBrightness(const QString& value, DisplaySettings& s)
{
    const QStringList parts = value.split(QLatin1Char(','));
    if (parts.size() != 1 && parts.size() != DisplaySettings::tubeCount) {
        return false;
    }
    std::array<int, DisplaySettings::tubeCount> brightness{};
    for (int i = 0; i < DisplaySettings::tubeCount; ++i) {
        const auto percent = numberIn(parts[parts.size() == 1 ? 0 : i].trimmed(), DisplaySettings::minimumBrightness, 100);
        if (!percent) {
            return false;
        }
        brightness[i] = *percent;
    }
    s.brightness = brightness;
    return true;
}

bool applyAntiPoisoning(const QString& value, DisplaySettings& s)
{
    if (value == QLatin1String("off")) {
        s.antiPoisoningEnabled = false;
        return true;
    }
    const QStringList parts = value.split(QLatin1Char(','));
    if (parts.size() > 2) {
        return false;
    }
    const auto seconds = parts.size() == 2 ? numberIn(parts[1], 1, 3600) : std::optional<int>(s.antiPoisoningSeconds);
    int at = s.antiPoisoningAt;
    int every = 0;
    if (parts[0].startsWith(QLatin1String("every:"))) {
        const auto hours = numberIn(parts[0].mid(6), 1, 24);
        if (!hours) {
            return false;
        }
        every = *hours;
    } else {
        at = DisplayText::minutesOf(parts[0]);
    }
    if (!seconds || at < 0) {
        return false;
    }
    s.antiPoisoningEnabled = true;
    s.antiPoisoningAt = at;
    s.antiPoisoningEveryHours = every;
    s.antiPoisoningSeconds = *seconds;
    return true;
}

}  // namespace

const QStringList& DisplayText::keys()
{
    static const QStringList all{QStringLiteral("hours"),        QStringLiteral("date-every"),
                                 QStringLiteral("date-order"),   QStringLiteral("date-color"),
                                 QStringLiteral("night"),        QStringLiteral("night-action"),
                                 QStringLiteral("night-fade"),   QStringLiteral("theme"),
                                 QStringLiteral("effect"),       QStringLiteral("brightness"),
                                 QStringLiteral("anti-poisoning")};
    return all;
}

int DisplayText::minutesOf(const QString& text)
{
    static const QRegularExpression form(QStringLiteral("^([0-9]{1,2}):([0-9]{2})$"));
    const auto match = form.match(text.trimmed());
    if (!match.hasMatch()) {
        return -1;
    }
    const int hours = match.captured(1).toInt();
    const int minutes = match.captured(2).toInt();
    return hours < 24 && minutes < 60 ? hours * 60 + minutes : -1;
}

QString DisplayText::timeOfDay(int minutes)
{
    return QStringLiteral("%1:%2").arg(minutes / 60, 2, 10, QLatin1Char('0')).arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

bool DisplayText::apply(const QString& key, const QString& text, DisplaySettings& settings)
{
    const QString value = text.trimmed();
    DisplaySettings changed = settings;
    bool ok = false;
    if (key == QLatin1String("hours")) {
        ok = applyHours(value, changed);
    } else if (key == QLatin1String("date-every")) {
        ok = applyDateEvery(value, changed);
    } else if (key == QLatin1String("date-order")) {
        const auto order = lookUp(orderKeys, value);
        ok = order.has_value();
        changed.dateOrder = order.value_or(changed.dateOrder);
    } else if (key == QLatin1String("date-color")) {
        const auto colour = colourOf(value);
        ok = colour || value == QLatin1String("none");
        changed.dateColour = colour.value_or(QColor());
    } else if (key == QLatin1String("night")) {
        ok = applyNight(value, changed);
    } else if (key == QLatin1String("night-action")) {
        ok = applyNightAction(value, changed);
    } else if (key == QLatin1String("night-fade")) {
        const auto seconds = numberIn(value, 0, DisplaySettings::maximumFadeSeconds);
        ok = seconds.has_value();
        changed.nightFadeSeconds = seconds.value_or(changed.nightFadeSeconds);
    } else if (key == QLatin1String("theme")) {
        const auto theme = lookUp(themeKeys, value);
        ok = theme.has_value();
        changed.theme = theme.value_or(changed.theme);
    } else if (key == QLatin1String("effect")) {
        ok = applyEffect(value, changed);
    } else if (key == QLatin1String("brightness")) {
        ok = applyBrightness(value, changed);
    } else if (key == QLatin1String("anti-poisoning")) {
        ok = applyAntiPoisoning(value, changed);
    }
    if (ok) {
        settings = changed;
    }
    return ok;
}

QString DisplayText::value(const QString& key, const DisplaySettings& s)
{
    if (key == QLatin1String("hours")) {
        return !s.twelveHour ? QStringLiteral("24") : s.leadingZero ? QStringLiteral("12") : QStringLiteral("12-space");
    }
    if (key == QLatin1String("date-every")) {
        return s.dateEveryMinutes == 0 ? QStringLiteral("off")
                                       : QStringLiteral("%1:%2").arg(s.dateEveryMinutes).arg(s.dateSeconds);
    }
    if (key == QLatin1String("date-order")) {
        return nameOf(orderKeys, s.dateOrder);
    }
    if (key == QLatin1String("date-color")) {
        return s.dateColour.isValid() ? hexOf(s.dateColour) : QStringLiteral("none");
    }
    if (key == QLatin1String("night")) {
        return s.nightEnabled ? timeOfDay(s.nightFrom) + QLatin1Char('-') + timeOfDay(s.nightTo) : QStringLiteral("off");
    }
    if (key == QLatin1String("night-action")) {
        switch (s.nightAction) {
        case NightAction::Dim:
            return QStringLiteral("dim:%1").arg(s.nightDimPercent);
        case NightAction::Colour:
            return QStringLiteral("color:") + hexOf(s.nightColour);
        case NightAction::Off:
            return QStringLiteral("off");
        }
    }
    if (key == QLatin1String("night-fade")) {
        return QString::number(s.nightFadeSeconds);
    }
    if (key == QLatin1String("theme")) {
        return nameOf(themeKeys, s.theme);
    }
    if (key == QLatin1String("effect")) {
        return nameOf(effectKeys, s.effect) + QLatin1Char(':') + QString::number(s.effectSpeed);
    }
    if (key == QLatin1String("brightness")) {
        QStringList parts;
        for (int percent : s.brightness) {
            parts << QString::number(percent);
        }
        return parts.join(QLatin1Char(','));
    }
    if (key == QLatin1String("anti-poisoning")) {
        if (!s.antiPoisoningEnabled) {
            return QStringLiteral("off");
        }
        const QString when = s.antiPoisoningEveryHours > 0 ? QStringLiteral("every:%1").arg(s.antiPoisoningEveryHours)
                                                           : timeOfDay(s.antiPoisoningAt);
        return when + QLatin1Char(',') + QString::number(s.antiPoisoningSeconds);
    }
    return {};
}

QString DisplayText::expected(const QString& key)
{
    if (key == QLatin1String("hours")) {
        return tr("24, 12 or 12-space");
    }
    if (key == QLatin1String("date-every")) {
        return tr("off or MIN:SEC (every 1 to 1440 minutes, for 1 to 59 seconds)");
    }
    if (key == QLatin1String("date-order")) {
        return tr("locale, DDMMYY, MMDDYY or YYMMDD");
    }
    if (key == QLatin1String("date-color") ) {
        return tr("none or RRGGBB");
    }
    if (key == QLatin1String("night")) {
        return tr("off or HH:MM-HH:MM (two different times)");
    }
    if (key == QLatin1String("night-action")) {
        return tr("dim:PERCENT (1 to 100), color:RRGGBB or off");
    }
    if (key == QLatin1String("night-fade")) {
        return tr("a number of seconds from 0 to 3600");
    }
    if (key == QLatin1String("theme")) {
        return tr("own, nixie-orange, ice-blue, mint or violet");
    }
    if (key == QLatin1String("effect")) {
        return tr("static, rainbow, hue-wave, breathing or pulse, optionally with :SPEED (1 to 10)");
    }
    if (key == QLatin1String("brightness")) {
        return tr("a percentage from 10 to 100, or six of them separated by commas");
    }
    if (key == QLatin1String("anti-poisoning")) {
        return tr("off, HH:MM[,SECONDS] or every:HOURS[,SECONDS] (1 to 24 hours, 1 to 3600 seconds)");
    }
    return {};
}

QList<QPair<QString, QString>> DisplayText::all(const DisplaySettings& settings)
{
    QList<QPair<QString, QString>> pairs;
    for (const QString& key : keys()) {
        pairs.append({key, value(key, settings)});
    }
    return pairs;
}

QString DisplayText::themeName(DisplaySettings::Theme theme)
{
    switch (theme) {
    case Theme::Own:
        return tr("Own colours");
    case Theme::NixieOrange:
        return tr("Nixie orange");
    case Theme::IceBlue:
        return tr("Ice blue");
    case Theme::Mint:
        return tr("Mint");
    case Theme::Violet:
        return tr("Violet");
    }
    return {};
}

QString DisplayText::effectName(DisplaySettings::Effect effect)
{
    switch (effect) {
    case Effect::Static:
        return tr("Static");
    case Effect::Rainbow:
        return tr("Rainbow");
    case Effect::HueWave:
        return tr("Hue wave");
    case Effect::Breathing:
        return tr("Breathing");
    case Effect::Pulse:
        return tr("Pulse");
    }
    return {};
}
