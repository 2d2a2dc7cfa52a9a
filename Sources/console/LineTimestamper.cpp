#include "console/LineTimestamper.h"

#include <QLocale>

QString LineTimestamper::stamp(const QString& text, const QTime& arrival)
{
    if (text.isEmpty()) {
        return text;
    }
    const QString prefix = timeText(arrival) + QLatin1Char(' ');
    QString stamped;
    stamped.reserve(text.size() + prefix.size());
    qsizetype from = 0;
    while (from < text.size()) {
        if (atLineStart_) {
            stamped += prefix;
            atLineStart_ = false;
        }
        const qsizetype lineBreak = text.indexOf(QLatin1Char('\n'), from);
        const qsizetype end = lineBreak < 0 ? text.size() : lineBreak + 1;
        stamped += QStringView(text).sliced(from, end - from);
        atLineStart_ = lineBreak >= 0;
        from = end;
    }
    return stamped;
}

QString LineTimestamper::timeText(const QTime& time)
{
    return QLatin1Char('[') + QLocale::c().toString(time, QStringLiteral("HH:mm:ss.zzz")) + QLatin1Char(']');
}
