// halodialctl: a command-line client of a running Halodial's remote control
// on the session bus.
#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <iostream>
#include <variant>

#include "CtlCommand.h"
#include "HalodialClient.h"
#include "remote/RemoteInterface.h"

namespace {

constexpr int done = 0;
constexpr int failed = 1;
constexpr int usageError = 2;
// How long an open may take to come out one way or the other.
constexpr std::chrono::seconds openDeadline {10};

int fail(const QString& message)
{
    std::cerr << "halodialctl: " << message.toStdString() << std::endl;
    return failed;
}

QString plain(const QVariant& value)
{
    if (value.metaType() == QMetaType::fromType<bool>()) {
        return value.toBool() ? QStringLiteral("yes") : QStringLiteral("no");
    }
    if (value.metaType() == QMetaType::fromType<QStringList>()) {
        return value.toStringList().join(QLatin1Char(' '));
    }
    return value.toString();
}

int printStatus(HalodialClient& client, bool json)
{
    QString problem;
    const auto properties = client.properties(problem);
    if (!properties) {
        return fail(QStringLiteral("cannot read Halodial's state: ") + problem);
    }
    if (json) {
        std::cout << QJsonDocument(QJsonObject::fromVariantMap(*properties)).toJson().toStdString();
        return done;
    }
    // Every property the running Halodial has, by its name.
    for (auto it = properties->cbegin(); it != properties->cend(); ++it) {
        std::cout << it.key().toStdString() << ": " << plain(it.value()).toStdString() << '\n';
    }
    return done;
}

int open(HalodialClient& client, const QString& port)
{
    if (const auto refusal = client.call(QStringLiteral("Open"), {port})) {
        return fail(*refusal);
    }
    const QVariant state = client.waitWhile(QStringLiteral("PortState"), QStringLiteral("opening"), openDeadline);
    if (state.toString() == QLatin1String("open")) {
        return done;
    }
    QString problem;
    const auto properties = client.properties(problem);
    return fail(properties ? properties->value(QStringLiteral("Status")).toString()
                           : QStringLiteral("%1 did not open").arg(port));
}

// `display`: every setting as KEY VALUE, one of them, or a new value.
int display(HalodialClient& client, const CtlCommand& command)
{
    QString property;
    for (const RemoteInterface::DisplayProperty& row : RemoteInterface::displayProperties) {
        if (command.key == QLatin1String(row.key)) {
            property = QLatin1String(row.property);
        }
    }
    if (!command.value.isEmpty()) {
        const auto refusal = client.setProperty(property, command.value);
        return refusal ? fail(*refusal) : done;
    }
    QString problem;
    const auto properties = client.properties(problem);
    if (!properties) {
        return fail(QStringLiteral("cannot read Halodial's state: ") + problem);
    }
    for (const RemoteInterface::DisplayProperty& row : RemoteInterface::displayProperties) {
        const QString value = properties->value(QLatin1String(row.property)).toString();
        if (command.key.isEmpty()) {
            std::cout << row.key << ' ' << value.toStdString() << '\n';
        } else if (command.key == QLatin1String(row.key)) {
            std::cout << value.toStdString() << '\n';
        }
    }
    return done;
}

int run(HalodialClient& client, const CtlCommand& command)
{
    std::optional<QString> refusal;
    switch (command.verb) {
    case CtlCommand::Verb::Status:
        return printStatus(client, command.json);
    case CtlCommand::Verb::Open:
        return open(client, command.port);
    case CtlCommand::Verb::Close:
        refusal = client.call(QStringLiteral("Close"));
        break;
    case CtlCommand::Verb::SyncOn:
        refusal = client.call(QStringLiteral("StartSync"));
        break;
    case CtlCommand::Verb::SyncOff:
        refusal = client.call(QStringLiteral("StopSync"));
        break;
    case CtlCommand::Verb::Colours:
        refusal = client.call(QStringLiteral("SetColours"), {command.colours});
        break;
    case CtlCommand::Verb::Show:
        refusal = client.call(QStringLiteral("ShowDigits"), {command.digits, command.seconds});
        break;
    case CtlCommand::Verb::ClearShown:
        refusal = client.call(QStringLiteral("ClearDigits"));
        break;
    case CtlCommand::Verb::Countdown:
        refusal = client.call(QStringLiteral("StartCountdown"), {command.seconds});
        break;
    case CtlCommand::Verb::StopCountdown:
        refusal = client.call(QStringLiteral("StopCountdown"));
        break;
    case CtlCommand::Verb::Display:
        return display(client, command);
    case CtlCommand::Verb::Save:
        refusal = client.call(QStringLiteral("Save"));
        break;
    case CtlCommand::Verb::Help:
    case CtlCommand::Verb::Version:
        break;
    }
    return refusal ? fail(*refusal) : done;
}

}  // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    const auto parsed = CtlCommand::parse(arguments);
    if (const QString* problem = std::get_if<QString>(&parsed)) {
        std::cerr << "halodialctl: " << problem->toStdString() << "\nTry 'halodialctl --help'." << std::endl;
        return usageError;
    }
    const CtlCommand& command = std::get<CtlCommand>(parsed);
    if (command.verb == CtlCommand::Verb::Help) {
        std::cout << CtlCommand::usage().toStdString();
        return done;
    }
    if (command.verb == CtlCommand::Verb::Version) {
        std::cout << "halodialctl " << HALODIAL_VERSION << std::endl;
        return done;
    }
    QString problem;
    auto client = HalodialClient::connect(problem);
    if (!client) {
        return fail(problem);
    }
    return run(*client, command);
}
