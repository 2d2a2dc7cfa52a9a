#include "remote/RemoteArguments.h"

#include <QCoreApplication>
#include <algorithm>

namespace RemoteArguments {

namespace {

bool isHexColour(const QString& text)
{
    return text.size() == 6 && std::all_of(text.begin(), text.end(), [](QChar c) {
               const char16_t u = c.unicode();
               return (u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F');
           });
}

}  // namespace

QString digitsProblem(const QString& digits)
{
    const bool fits = !digits.isEmpty() && digits.size() <= 6 && std::all_of(digits.begin(), digits.end(), [](QChar c) {
        return (c.unicode() >= '0' && c.unicode() <= '9') || c == QLatin1Char(' ');
    });
    return fits ? QString()
                : QCoreApplication::translate("RemoteArguments",
                                              "'%1' cannot be shown: give one to six digits 0 to 9 (a space for a dark "
                                              "tube)")
                      .arg(digits);
}

QString countdownProblem(quint32 seconds)
{
    constexpr quint32 longest = 99 * 3600 + 59 * 60 + 59;
    return seconds >= 1 && seconds <= longest
        ? QString()
        : QCoreApplication::translate("RemoteArguments",
                                      "a countdown lasts 1 to 359999 seconds (99:59:59), not %1")
              .arg(seconds);
}

std::variant<Colours, QString> colours(const QStringList& texts)
{
    if (texts.size() != 1 && texts.size() != 6) {
        return QCoreApplication::translate("RemoteArguments",
                                           "give one colour for every tube or six, one per tube, not %1")
            .arg(texts.size());
    }
    Colours result;
    for (qsizetype i = 0; i < texts.size(); ++i) {
        if (!isHexColour(texts[i])) {
            return QCoreApplication::translate("RemoteArguments", "'%1' is not a colour: give six hex digits, RRGGBB")
                .arg(texts[i]);
        }
        result[static_cast<std::size_t>(i)] = QColor::fromRgb(texts[i].toUInt(nullptr, 16));
    }
    if (texts.size() == 1) {
        result.fill(result[0]);
    }
    return result;
}

QStringList colourNames(const Colours& colours)
{
    QStringList names;
    for (const QColor& colour : colours) {
        names << QStringLiteral("%1").arg(colour.rgb() & 0xFFFFFFu, 6, 16, QLatin1Char('0')).toUpper();
    }
    return names;
}

std::optional<QString> lineEnding(const QString& name)
{
    if (name == QLatin1String("cr")) {
        return QStringLiteral("\r");
    }
    if (name == QLatin1String("lf")) {
        return QStringLiteral("\n");
    }
    if (name == QLatin1String("crlf")) {
        return QStringLiteral("\r\n");
    }
    return std::nullopt;
}

QString lineEndingName(const QString& ending)
{
    if (ending == QLatin1String("\r")) {
        return QStringLiteral("cr");
    }
    if (ending == QLatin1String("\r\n")) {
        return QStringLiteral("crlf");
    }
    return QStringLiteral("lf");
}

QString portStateName(PortStatus::State state)
{
    switch (state) {
    case PortStatus::State::Opening:
        return QStringLiteral("opening");
    case PortStatus::State::Open:
        return QStringLiteral("open");
    case PortStatus::State::Gone:
        return QStringLiteral("gone");
    case PortStatus::State::Waiting:
        return QStringLiteral("waiting");
    case PortStatus::State::NoPort:
    case PortStatus::State::Closed:
        break;
    }
    return QStringLiteral("closed");
}

}  // namespace RemoteArguments
