#include "clock/TubeFieldValidator.h"

TubeFieldValidator::TubeFieldValidator(QObject* parent) : QValidator(parent) {}

QValidator::State TubeFieldValidator::validate(QString& input, int&) const
{
    if (!input.isValidUtf16()) {
        return Invalid;
    }
    // Code points: a surrogate pair counts once.
    return input.toUcs4().size() <= maximumCharacters ? Acceptable : Invalid;
}
