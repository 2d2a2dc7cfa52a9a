#pragma once

#include <QString>
#include <QStringList>
#include <variant>

// What halodialctl's command line asks for, read without the bus: a usage
// error never reaches Halodial.
struct CtlCommand {
    enum class Verb {
        Status,
        Open,
        Close,
        SyncOn,
        SyncOff,
        Colours,
        Show,
        ClearShown,
        Countdown,
        StopCountdown,
        Display,
        Save,
        Help,
        Version
    };

    Verb verb = Verb::Status;
    bool json = false;
    // The port of `open`; the colours of `colors`, as given.
    QString port;
    QStringList colours;
    // The digits of `show` and how long they stay (0: until cleared); the
    // seconds of `countdown`.
    QString digits;
    quint32 seconds = 0;
    // `display`: the setting's key (none: all of them) and the value to
    // give it (none: print it).
    QString key;
    QString value;

    // The arguments after the program's name. A usage error comes back as
    // its message.
    static std::variant<CtlCommand, QString> parse(const QStringList& arguments);
    static QString usage();
};
