#pragma once

#include <QString>
#include <QStringList>
#include <variant>

// What halodialctl's command line asks for, read without the bus: a usage
// error never reaches Halodial.
struct CtlCommand {
    enum class Verb { Status, Open, Close, SyncOn, SyncOff, Colours, Save, Help, Version };

    Verb verb = Verb::Status;
    bool json = false;
    // The port of `open`; the colours of `colors`, as given.
    QString port;
    QStringList colours;

    // The arguments after the program's name. A usage error comes back as
    // its message.
    static std::variant<CtlCommand, QString> parse(const QStringList& arguments);
    static QString usage();
};
