#pragma once

#include <QString>
#include <QTime>

// Starts each line of console text with the time its first character
// arrived, "[14:03:07.250] ". A line that comes in several chunks gets one
// stamp, from its first chunk; a line break at the end of a chunk stamps
// nothing yet, so the next line carries the time it really began.
class LineTimestamper {
public:
    // `text` is decoded console text with "\n" as its only line break.
    QString stamp(const QString& text, const QTime& arrival);
    // The next text begins a line.
    void reset() { atLineStart_ = true; }

    // "[hh:mm:ss.zzz]" in ASCII digits whatever the locale.
    static QString timeText(const QTime& time);

private:
    bool atLineStart_ = true;
};
