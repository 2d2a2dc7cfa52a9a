#include "CtlCommand.h"

#include <algorithm>
#include <iterator>
#include <optional>

#include "remote/RemoteInterface.h"

namespace {

// Whole seconds, digits only, within what D-Bus's u carries.
std::optional<quint32> secondsOf(const QString& text)
{
    bool ok = false;
    const qulonglong value = text.toULongLong(&ok);
    const bool digitsOnly = !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) {
        return c.unicode() >= '0' && c.unicode() <= '9';
    });
    if (!ok || !digitsOnly || value > 0xFFFFFFFFull) {
        return std::nullopt;
    }
    return static_cast<quint32>(value);
}

bool isDisplayKey(const QString& key)
{
    return std::any_of(std::begin(RemoteInterface::displayProperties), std::end(RemoteInterface::displayProperties),
                       [&](const RemoteInterface::DisplayProperty& row) { return key == QLatin1String(row.key); });
}

}  // namespace

std::variant<CtlCommand, QString> CtlCommand::parse(const QStringList& arguments)
{
    CtlCommand command;
    QStringList words;
    std::optional<QString> forSeconds;
    bool clear = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QLatin1String("--json")) {
            command.json = true;
        } else if (argument == QLatin1String("--for")) {
            if (i + 1 == arguments.size()) {
                return QStringLiteral("--for takes a number of seconds");
            }
            forSeconds = arguments[++i];
        } else if (argument.startsWith(QLatin1String("--for="))) {
            forSeconds = argument.mid(6);
        } else if (argument == QLatin1String("--clear")) {
            clear = true;
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
    } else if (verb == QLatin1String("show")) {
        command.verb = clear ? Verb::ClearShown : Verb::Show;
        problem = clear ? wants(0, "no digits with --clear") : wants(1, "one to six digits, or --clear");
        command.digits = words.value(0);
        if (problem.isEmpty() && forSeconds) {
            const auto seconds = secondsOf(*forSeconds);
            problem = clear ? QStringLiteral("--for goes with digits, not with --clear")
                      : seconds ? QString()
                                : QStringLiteral("--for takes a number of seconds, not '%1'").arg(*forSeconds);
            command.seconds = seconds.value_or(0);
        }
    } else if (verb == QLatin1String("countdown")) {
        problem = wants(1, "a number of seconds, or off");
        const QString length = words.value(0);
        command.verb = length == QLatin1String("off") ? Verb::StopCountdown : Verb::Countdown;
        if (problem.isEmpty() && command.verb == Verb::Countdown) {
            const auto seconds = secondsOf(length);
            problem = seconds ? QString()
                              : QStringLiteral("'countdown' takes a number of seconds or off, not '%1'").arg(length);
            command.seconds = seconds.value_or(0);
        }
    } else if (verb == QLatin1String("display")) {
        command.verb = Verb::Display;
        problem = words.size() <= 2 ? QString() : QStringLiteral("'display' takes a setting and its value");
        command.key = words.value(0);
        command.value = words.value(1);
        if (problem.isEmpty() && !command.key.isEmpty() && !isDisplayKey(command.key)) {
            problem = QStringLiteral("'display' knows no setting '%1' (see 'display' for the list)").arg(command.key);
        }
        if (words.size() == 2 && command.value.isEmpty()) {
            problem = QStringLiteral("'display %1' takes a value that is not empty").arg(command.key);
        }
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
    if ((forSeconds && command.verb != Verb::Show && command.verb != Verb::ClearShown)
        || (clear && command.verb != Verb::ClearShown)) {
        return QStringLiteral("--for and --clear go with 'show' only");
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
                          "  show DIGITS [--for SECONDS]\n"
                          "                        show one to six digits in place of the time\n"
                          "                        (a space for a dark tube), for SECONDS or\n"
                          "                        until 'show --clear'\n"
                          "  show --clear          back to the time\n"
                          "  countdown SECONDS|off start or stop a countdown (up to 359999)\n"
                          "  display [KEY [VALUE]] list the display settings, print one, or set\n"
                          "                        one; KEY and VALUE as halodial's --KEY VALUE\n"
                          "                        (hours, date-every, date-order, date-color,\n"
                          "                        night, night-action, night-fade, theme,\n"
                          "                        effect, brightness, anti-poisoning)\n"
                          "  save                  send a save frame with what the tubes show\n"
                          "\n"
                          "Exit status: 0 done, 1 Halodial is not running or refused, 2 usage "
                          "error.\n");
}
