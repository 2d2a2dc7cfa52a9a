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

// The port's state as remote controls name it: closed (also without a
// port), opening, open, waiting or gone.
QString portStateName(PortStatus::State state);

}  // namespace RemoteArguments
