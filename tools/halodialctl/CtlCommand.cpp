#include "CtlCommand.h"

std::variant<CtlCommand, QString> CtlCommand::parse(const QStringList& arguments)
{
    CtlCommand command;
    QStringList words;
    for (const QString& argument : arguments) {
        if (argument == QLatin1String("--json")) {
            command.json = true;
        } else if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            command.verb = Verb::Help;
            return command;
        } else if (argument == QLatin1String("--version")) {
            command.verb = Verb::Version;
            return command;
        } else if (argument.startsWith(QLatin1Char('-')) && argument.size() > 1) {
            return QStringLiteral("unknown option '%1'").arg(argument);
        } else {
            words << argument;
        }
    }
    if (words.isEmpty()) {
        return QStringLiteral("no command given");
    }
    const QString verb = words.takeFirst();
    const auto wants = [&](qsizetype count, const char* what) -> QString {
        if (words.size() == count) {
            return {};
        }
        return QStringLiteral("'%1' takes %2").arg(verb, QLatin1String(what));
    };
    QString problem;
    if (verb == QLatin1String("status")) {
        command.verb = Verb::Status;
        problem = wants(0, "no arguments");
    } else if (verb == QLatin1String("open")) {
        command.verb = Verb::Open;
        problem = wants(1, "the port's path");
        command.port = words.value(0);
    } else if (verb == QLatin1String("close")) {
        command.verb = Verb::Close;
        problem = wants(0, "no arguments");
    } else if (verb == QLatin1String("sync")) {
        problem = wants(1, "on or off");
        const QString state = words.value(0);
        if (problem.isEmpty() && state != QLatin1String("on") && state != QLatin1String("off")) {
            problem = QStringLiteral("'sync' takes on or off, not '%1'").arg(state);
        }
        command.verb = state == QLatin1String("on") ? Verb::SyncOn : Verb::SyncOff;
    } else if (verb == QLatin1String("colors")) {
        command.verb = Verb::Colours;
        problem = wants(1, "RRGGBB, or six of them separated by commas");
        // Their form is Halodial's to judge, which answers with what is
        // wrong.
        command.colours = words.value(0).split(QLatin1Char(','));
    } else if (verb == QLatin1String("save")) {
        command.verb = Verb::Save;
        problem = wants(0, "no arguments");
    } else {
        problem = QStringLiteral("unknown command '%1'").arg(verb);
    }
    if (!problem.isEmpty()) {
        return problem;
    }
    if (command.json && command.verb != Verb::Status) {
        return QStringLiteral("--json goes with 'status' only");
    }
    return command;
}

QString CtlCommand::usage()
{
    return QStringLiteral("Usage: halodialctl COMMAND\n"
                          "Controls a running Halodial (window or headless service) over D-Bus.\n"
                          "\n"
                          "Commands:\n"
                          "  status [--json]       the port, its state, the sync, the colours\n"
                          "  open PORT             choose the serial port at PORT and open it\n"
                          "  close                 close the port\n"
                          "  sync on|off           start or stop sending the time\n"
                          "  colors RRGGBB[,...]   one colour for every tube, or six\n"
                          "  save                  send a save frame with what the tubes show\n"
                          "\n"
                          "Exit status: 0 done, 1 Halodial is not running or refused, 2 usage "
                          "error.\n");
}
