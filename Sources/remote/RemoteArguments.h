#pragma once

#include <QColor>
#include <QString>
#include <QStringList>
#include <array>
#include <optional>
#include <variant>

#include "ports/PortStatus.h"

// The values a remote control passes, read strictly: a malformed one is
// refused whole with a message that says what is wrong, so that a bad call
// changes nothing. Plain functions; any thread.
namespace RemoteArguments {

using Colours = std::array<QColor, 6>;

// One "RRGGBB" for every tube, or six, one per tube: exactly six hex
// digits each, nothing around them.
std::variant<Colours, QString> colours(const QStringList& texts);
// The colours as the Colours property gives them.
QStringList colourNames(const Colours& colours);

// "cr", "lf" or "crlf" to the ending itself and back.
std::optional<QString> lineEnding(const QString& name);
QString lineEndingName(const QString& ending);

// What is wrong with digits to show in place of the time: one to six
// characters, each a digit 0 to 9 or a space (a dark tube); empty when
// they are fine.
QString digitsProblem(const QString& digits);
// What is wrong with a countdown's length: 1 second to 99:59:59, what six
// tubes can count down from; empty when it is fine.
QString countdownProblem(quint32 seconds);

// The port's state as remote controls name it: closed (also without a
// port), opening, open, waiting or gone.
QString portStateName(PortStatus::State state);

}  // namespace RemoteArguments
