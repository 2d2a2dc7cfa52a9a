#include "CommandLine.h"

#include <algorithm>

#include "settings/SettingsStore.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <algorithm>
#include <iostream>

#include "Translations.h"
#include "display/DisplayText.h"

namespace {

const QString simulateOption = QStringLiteral("simulate");
const QString portOption = QStringLiteral("port");
const QString openOption = QStringLiteral("open");
const QString syncOption = QStringLiteral("sync");
const QString screenshotOption = QStringLiteral("screenshot-dir");
const QString headlessOption = QStringLiteral("headless");
const QString waitOption = QStringLiteral("wait");
const QString coloursOption = QStringLiteral("colors");
const QString leadOption = QStringLiteral("lead-ms");
const QString resetSettingsOption = QStringLiteral("reset-settings");
const QString twelveHourOption = QStringLiteral("twelve-hour");
const QString countdownForOption = QStringLiteral("countdown-for");
const QString countdownToOption = QStringLiteral("countdown-to");

// What each display option sets, for --help.
QString displayOptionDescription(const QString& key)
{
    if (key == QLatin1String("hours")) {
        return QCoreApplication::translate("CommandLine", "Show the time in 24 or 12 hours (12-space: no leading zero).");
    }
    if (key == QLatin1String("date-every")) {
        return QCoreApplication::translate("CommandLine", "Show the date every MIN minutes for SEC seconds, or off.");
    }
    if (key == QLatin1String("date-order")) {
        return QCoreApplication::translate("CommandLine", "The order of day, month and year: locale, DDMMYY, MMDDYY or "
                                                          "YYMMDD.");
    }
    if (key == QLatin1String("date-color")) {
        return QCoreApplication::translate("CommandLine", "Show the date in this colour (RRGGBB), or none.");
    }
    if (key == QLatin1String("night")) {
        return QCoreApplication::translate("CommandLine", "Night from HH:MM to HH:MM (across midnight when the first is "
                                                          "later), or off.");
    }
    if (key == QLatin1String("night-action")) {
        return QCoreApplication::translate("CommandLine", "At night dim the tubes to a percentage, show a colour, or "
                                                          "turn the backlights off: dim:20, color:RRGGBB or off.");
    }
    if (key == QLatin1String("night-fade")) {
        return QCoreApplication::translate("CommandLine", "Fade into and out of the night over this many seconds.");
    }
    if (key == QLatin1String("theme")) {
        return QCoreApplication::translate("CommandLine", "Colour theme: own, nixie-orange, ice-blue, mint or violet.");
    }
    if (key == QLatin1String("effect")) {
        return QCoreApplication::translate("CommandLine", "Colour effect with an optional speed from 1 to 10: static, "
                                                          "rainbow, hue-wave, breathing or pulse.");
    }
    if (key == QLatin1String("brightness")) {
        return QCoreApplication::translate("CommandLine", "Brightness per tube in percent (10 to 100): one value, or six "
                                                          "separated by commas.");
    }
    if (key == QLatin1String("anti-poisoning")) {
        return QCoreApplication::translate("CommandLine", "Run every tube through 0 to 9 at HH:MM (or every:HOURS) for "
                                                          "SECONDS, to keep nixie cathodes healthy; or off.");
    }
    return {};
}

// SECONDS, M:SS or H:MM:SS; empty when malformed or zero.
std::optional<std::chrono::seconds> durationOf(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char(':'));
    if (parts.size() > 3) {
        return std::nullopt;
    }
    long long total = 0;
    for (int i = 0; i < parts.size(); ++i) {
        const QString& part = parts[i];
        const bool digitsOnly = !part.isEmpty() && part.size() <= 6 &&
                                std::all_of(part.begin(), part.end(), [](QChar c) { return c.isDigit() && c.unicode() < 128; });
        if (!digitsOnly || (i > 0 && part.toInt() >= 60)) {
            return std::nullopt;
        }
        total = total * 60 + part.toLongLong();
    }
    if (total <= 0 || total > 99 * 3600 + 59 * 60 + 59) {
        return std::nullopt;
    }
    return std::chrono::seconds(total);
}
const QString newInstanceOption = QStringLiteral("new-instance");
const QString mqttOption = QStringLiteral("mqtt");
const QString mqttCaOption = QStringLiteral("mqtt-ca");
const QString mqttCredentialsOption = QStringLiteral("mqtt-credentials");
const QString mqttClientIdOption = QStringLiteral("mqtt-client-id");
const QString mqttPrefixOption = QStringLiteral("mqtt-prefix");

QStringList argumentList(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    return arguments;
}

int usageError(const QString& message)
{
    std::cerr << "halodial: " << message.toStdString() << '\n'
              << QCoreApplication::translate("CommandLine", "Try 'halodial --help' for more information.")
                     .toStdString()
              << std::endl;
    return CommandLine::usageErrorStatus;
}

}  // namespace

void CommandLine::describeOptions(QCommandLineParser& parser)
{
    // "-port" means --port, as Qt's own options are spelled with one dash.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(
        QCoreApplication::translate("CommandLine", "Drives a six-digit tube clock over a serial port.\n"
                                                   "Qt's options, such as -platform offscreen, are accepted as well."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption({simulateOption, QCoreApplication::translate("CommandLine", "Start the built-in virtual clock "
                                                                               "and show it beside the window.")});
    parser.addOption({portOption,
                      QCoreApplication::translate("CommandLine", "Choose the serial port at PATH at start (a serial "
                                                                 "device or pseudo-terminal)."),
                      //: The value of --port, as the option's description names it.
                      QCoreApplication::translate("CommandLine", "PATH")});
    parser.addOption({openOption, QCoreApplication::translate("CommandLine", "Open the chosen port.")});
    parser.addOption({syncOption, QCoreApplication::translate("CommandLine", "Start sending the time to the clock.")});
    parser.addOption({headlessOption, QCoreApplication::translate(
                                          "CommandLine", "Run without a window or display (a clock on a server).")});
    parser.addOption({waitOption, QCoreApplication::translate("CommandLine",
                                                              "Wait for the port's device when it is absent or goes "
                                                              "away, and reopen it, instead of exiting.")});
    // Either spelling; the help shows both.
    parser.addOption({QStringList{coloursOption, QStringLiteral("colours")},
                      QCoreApplication::translate("CommandLine",
                                                  "Set the tube colours: RRGGBB for every tube, or six of them "
                                                  "separated by commas; kept like colours picked in the window."),
                      //: The value of --colours, as the option's description names it.
                      QCoreApplication::translate("CommandLine", "COLOURS")});
    parser.addOption({leadOption,
                      QCoreApplication::translate("CommandLine",
                                                  "Send each time frame MS milliseconds earlier again (0 to 100), "
                                                  "for an adapter with a delay of its own; kept like the window's "
                                                  "choice."),
                      //: The value of --lead-ms, as the option's description names it.
                      QCoreApplication::translate("CommandLine", "MS")});
    for (const QString& key : DisplayText::keys()) {
        //: The value of a display option, as its description names it.
        parser.addOption({key, displayOptionDescription(key), QCoreApplication::translate("CommandLine", "VALUE")});
    }
    parser.addOption({twelveHourOption, QCoreApplication::translate("CommandLine", "Show the time in 12 hours (as "
                                                                                   "--hours 12).")});
    parser.addOption({countdownForOption,
                      QCoreApplication::translate("CommandLine", "Count down for a DURATION (SECONDS, M:SS or H:MM:SS)."),
                      //: The value of --countdown-for, as the option's description names it.
                      QCoreApplication::translate("CommandLine", "DURATION")});
    parser.addOption({countdownToOption,
                      QCoreApplication::translate("CommandLine", "Count down to the next HH:MM."),
                      //: The value of --countdown-to, as the option's description names it.
                      QCoreApplication::translate("CommandLine", "TIME")});
    parser.addOption({resetSettingsOption,
                      QCoreApplication::translate("CommandLine", "Start from the default settings.")});
    parser.addOption({newInstanceOption,
                      QCoreApplication::translate("CommandLine",
                                                  "Start another window even when Halodial runs already, instead of "
                                                  "handing this start's port, --open and --sync to it.")});
    parser.addOption({mqttOption,
                      QCoreApplication::translate("CommandLine",
                                                  "Put the clock on the MQTT broker at URL (mqtt://HOST[:PORT] or "
                                                  "mqtts://HOST[:PORT]), announced to Home Assistant."),
                      QStringLiteral("URL")});
    parser.addOption({mqttCaOption,
                      QCoreApplication::translate("CommandLine",
                                                  "Check an mqtts:// broker's certificate against the CA in FILE "
                                                  "instead of the system's."),
                      QStringLiteral("FILE")});
    parser.addOption({mqttCredentialsOption,
                      QCoreApplication::translate("CommandLine",
                                                  "Log in to the broker as the user on the first line of FILE with "
                                                  "the password on its second; FILE must have mode 0600."),
                      QStringLiteral("FILE")});
    parser.addOption({mqttClientIdOption,
                      QCoreApplication::translate("CommandLine", "The MQTT client id (default: one of the broker's)."),
                      QStringLiteral("ID")});
    parser.addOption({mqttPrefixOption,
                      QCoreApplication::translate("CommandLine",
                                                  "Put the clock's MQTT topics under PREFIX (default: "
                                                  "halodial/HOSTNAME)."),
                      QStringLiteral("PREFIX")});
    QCommandLineOption screenshots(screenshotOption,
                                   QStringLiteral("Save screenshots of the windows in DIR after a moment, then quit."),
                                   QStringLiteral("DIR"));
    screenshots.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(screenshots);
}

bool CommandLine::asksForWidgets(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        // Qt's own options are spelled with one dash; the screenshots are
        // pictures of the windows.
        if (argument == "-platform" || argument.startsWith("-platform=") || argument == "--platform" ||
            argument.startsWith("--screenshot-dir")) {
            return true;
        }
    }
    return false;
}

bool CommandLine::asksForHeadless(int argc, char* argv[])
{
    QCommandLineParser parser;
    describeOptions(parser);
    parser.parse(argumentList(argc, argv));
    return parser.isSet(headlessOption);
}

std::optional<std::array<QColor, 6>> CommandLine::parseColours(const QString& text, bool* oneForAll)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 1 && parts.size() != 6) {
        return std::nullopt;
    }
    std::array<QColor, 6> colours;
    for (int i = 0; i < parts.size(); ++i) {
        QString hex = parts[i].trimmed();
        if (hex.startsWith(QLatin1Char('#'))) {
            hex.remove(0, 1);
        }
        // Six hex digits and nothing else: toUInt alone would also take a
        // sign or a "0x".
        bool ok = hex.size() == 6 && std::all_of(hex.begin(), hex.end(), [](QChar c) {
                      return c.isDigit() || (c.toLower() >= QLatin1Char('a') && c.toLower() <= QLatin1Char('f'));
                  });
        const uint rgb = ok ? hex.toUInt(&ok, 16) : 0;
        if (!ok) {
            return std::nullopt;
        }
        colours[i] = QColor::fromRgb(rgb);
    }
    if (parts.size() == 1) {
        colours.fill(colours[0]);
    }
    if (oneForAll) {
        *oneForAll = parts.size() == 1;
    }
    return colours;
}

std::optional<int> CommandLine::answerInformationalOptions(int argc, char* argv[])
{
    const QStringList arguments = argumentList(argc, argv);
    QCommandLineParser parser;
    describeOptions(parser);
    // Lenient: Qt's options are unknown here, and errors wait for parse().
    parser.parse(arguments);
    const bool helpAll = parser.isSet(QStringLiteral("help-all"));
    if (helpAll || parser.isSet(QStringLiteral("help"))) {
        // A core application names the program in the usage line; it needs
        // no display.
        int coreArgc = 1;
        QCoreApplication core(coreArgc, argv);
        // The options are described again, now in the user's language.
        Translations::load(QLocale());
        QCommandLineParser translated;
        describeOptions(translated);
        if (helpAll) {
            // Only Qt's own handling lists Qt's options; it exits with 0.
            translated.process(QStringList{arguments.constFirst(), QStringLiteral("--help-all")});
        }
        std::cout << translated.helpText().toStdString();
        return 0;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        std::cout << "Halodial " << HALODIAL_VERSION << std::endl;
        return 0;
    }
    return std::nullopt;
}

std::variant<ApplicationOptions, int> CommandLine::parse(const QStringList& arguments)
{
    QCommandLineParser parser;
    describeOptions(parser);
    if (!parser.parse(arguments)) {
        return usageError(parser.errorText());
    }
    if (!parser.positionalArguments().isEmpty()) {
        return usageError(QCoreApplication::translate("CommandLine", "unexpected argument '%1'")
                              .arg(parser.positionalArguments().constFirst()));
    }
    ApplicationOptions options;
    options.simulate = parser.isSet(simulateOption);
    options.portPath = parser.value(portOption);
    options.open = parser.isSet(openOption);
    options.sync = parser.isSet(syncOption);
    options.screenshotDirectory = parser.value(screenshotOption);
    if (parser.isSet(portOption) && options.portPath.isEmpty()) {
        return usageError(QCoreApplication::translate("CommandLine", "--port needs a PATH"));
    }
    options.wait = parser.isSet(waitOption);
    options.reconnects = options.wait;
    options.resetSettings = parser.isSet(resetSettingsOption);
    options.newInstance = parser.isSet(newInstanceOption);
    if (parser.isSet(mqttOption)) {
        auto settings = MqttSettings::fromUrl(parser.value(mqttOption));
        if (const QString* problem = std::get_if<QString>(&settings)) {
            return usageError(*problem);
        }
        MqttSettings mqtt = std::get<MqttSettings>(settings);
        mqtt.caFile = parser.value(mqttCaOption);
        mqtt.clientId = parser.value(mqttClientIdOption);
        if (parser.isSet(mqttPrefixOption)) {
            mqtt.topicPrefix = parser.value(mqttPrefixOption);
        }
        if (mqtt.topicPrefix.isEmpty() || mqtt.topicPrefix.contains(QLatin1Char('#')) ||
            mqtt.topicPrefix.contains(QLatin1Char('+')) || mqtt.topicPrefix.endsWith(QLatin1Char('/'))) {
            return usageError(QCoreApplication::translate("CommandLine",
                                                          "--mqtt-prefix needs a topic without + or # and without a "
                                                          "trailing /, not '%1'")
                                  .arg(mqtt.topicPrefix));
        }
        if (parser.isSet(mqttCredentialsOption)) {
            if (const auto problem = mqtt.readCredentials(parser.value(mqttCredentialsOption))) {
                return usageError(*problem);
            }
        }
        options.mqtt = mqtt;
    } else if (parser.isSet(mqttCaOption) || parser.isSet(mqttCredentialsOption) || parser.isSet(mqttClientIdOption) ||
               parser.isSet(mqttPrefixOption)) {
        return usageError(QCoreApplication::translate("CommandLine", "the --mqtt-… options need --mqtt URL"));
    }
    if (parser.isSet(coloursOption)) {
        options.colours = parseColours(parser.value(coloursOption), &options.coloursOneForAll);
        if (!options.colours) {
            return usageError(QCoreApplication::translate(
                                  "CommandLine", "--colors needs RRGGBB or six RRGGBB separated by commas, not '%1'")
                                  .arg(parser.value(coloursOption)));
        }
    }
    if (parser.isSet(leadOption)) {
        const QString value = parser.value(leadOption);
        bool isNumber = false;
        const int lead = value.toInt(&isNumber);
        // Digits only: toInt would also take a sign or surrounding blanks.
        const bool digitsOnly =
            !value.isEmpty() && std::all_of(value.begin(), value.end(), [](QChar c) { return c.isDigit() && c.unicode() < 128; });
        if (!isNumber || !digitsOnly || lead > SettingsStore::maximumLeadMilliseconds) {
            return usageError(
                QCoreApplication::translate("CommandLine", "--lead-ms needs a whole number of milliseconds from 0 to %1, not '%2'")
                    .arg(SettingsStore::maximumLeadMilliseconds)
                    .arg(value));
        }
        options.leadMilliseconds = lead;
    }
    DisplaySettings display;
    if (parser.isSet(twelveHourOption)) {
        DisplayText::apply(QStringLiteral("hours"), QStringLiteral("12"), display);
        options.display.append({QStringLiteral("hours"), QStringLiteral("12")});
    }
    for (const QString& key : DisplayText::keys()) {
        if (!parser.isSet(key)) {
            continue;
        }
        const QString value = parser.value(key);
        if (!DisplayText::apply(key, value, display)) {
            return usageError(QCoreApplication::translate("CommandLine", "--%1 needs %2, not '%3'")
                                  .arg(key, DisplayText::expected(key), value));
        }
        options.display.append({key, value});
    }
    if (parser.isSet(countdownForOption)) {
        options.countdownFor = durationOf(parser.value(countdownForOption));
        if (!options.countdownFor) {
            return usageError(QCoreApplication::translate("CommandLine", "--countdown-for needs SECONDS, M:SS or "
                                                                         "H:MM:SS (up to 99:59:59), not '%1'")
                                  .arg(parser.value(countdownForOption)));
        }
    }
    if (parser.isSet(countdownToOption)) {
        const int minutes = DisplayText::minutesOf(parser.value(countdownToOption));
        if (minutes < 0) {
            return usageError(QCoreApplication::translate("CommandLine", "--countdown-to needs a time HH:MM, not '%1'")
                                  .arg(parser.value(countdownToOption)));
        }
        options.countdownTo = QTime(minutes / 60, minutes % 60);
    }
    return options;
}
