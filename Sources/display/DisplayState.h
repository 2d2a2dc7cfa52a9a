#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

// What the tubes were asked to show for a while, beside the settings: digits
// given from outside (until an instant, or until cleared) and a running
// countdown. Instants are milliseconds since the epoch. A value type.
struct DisplayState {
    // Six characters; empty when none are asked for.
    QString customDigits;
    std::optional<qint64> customUntil;
    std::optional<qint64> countdownEnd;

    // After a countdown reaches zero the tubes flash this long, then the
    // time comes back.
    static constexpr qint64 flashMilliseconds = 3000;

    bool showsCustomAt(qint64 instant) const
    {
        return !customDigits.isEmpty() && (!customUntil || instant < *customUntil);
    }
    bool countsDownAt(qint64 instant) const
    {
        return countdownEnd && instant < *countdownEnd + flashMilliseconds;
    }

    friend bool operator==(const DisplayState&, const DisplayState&) = default;
};
