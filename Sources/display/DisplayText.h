#pragma once

#include <QCoreApplication>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include "display/DisplaySettings.h"

// The display settings as text: one key per choice, with one text form that
// the command line (--KEY VALUE) and the settings file ([Display] KEY=VALUE)
// share, so that what a user types and what the file keeps read the same.
//
//   hours            24 | 12 | 12-space   (12 hours, a space for the leading zero)
//   date-every       off | MIN:SEC        (every MIN minutes for SEC seconds)
//   date-order       locale | DDMMYY | MMDDYY | YYMMDD
//   date-color       none | RRGGBB
//   night            off | HH:MM-HH:MM
//   night-action     dim:PERCENT | color:RRGGBB | off
//   night-fade       SECONDS              (0 to 3600)
//   theme            own | nixie-orange | ice-blue | mint | violet
//   effect           NAME[:SPEED]         (static, rainbow, hue-wave, breathing, pulse; 1 to 10)
//   brightness       PERCENT or six of them separated by commas (10 to 100)
//   anti-poisoning   off | HH:MM[,SECONDS] | every:HOURS[,SECONDS]
//
// Any thread; the texts of what() are translated when a catalogue is loaded.
class DisplayText {
    Q_DECLARE_TR_FUNCTIONS(DisplayText)

public:
    // Every key, in the order above.
    static const QStringList& keys();

    // Sets the field that `key` names from `value`; false, leaving the
    // settings as they were, when the key is unknown or the value is not
    // one of its forms.
    static bool apply(const QString& key, const QString& value, DisplaySettings& settings);
    // The value of `key` in its text form.
    static QString value(const QString& key, const DisplaySettings& settings);
    // What a value of `key` must look like, for a message.
    static QString expected(const QString& key);

    // Each key with the settings' value, in order.
    static QList<QPair<QString, QString>> all(const DisplaySettings& settings);

    // The user-visible names, for the window's lists.
    static QString themeName(DisplaySettings::Theme theme);
    static QString effectName(DisplaySettings::Effect effect);

    // "HH:MM" as minutes of the day; -1 when malformed.
    static int minutesOf(const QString& text);
    static QString timeOfDay(int minutes);
};
