#pragma once

#include <QStringList>
#include <optional>
#include <variant>

#include "ApplicationOptions.h"

class QCommandLineParser;

// Halodial's command line. It is read twice: leniently before any
// QApplication exists, so that --help and --version answer without a
// display; then strictly, once QApplication has taken its own options
// (-platform offscreen, -style ...) out of the arguments.
class CommandLine {
public:
    // A usage error: wrong option, missing value, stray argument.
    static constexpr int usageErrorStatus = 2;

    // The exit status when the arguments ask for help or the version, which
    // has then been written to standard output; empty otherwise.
    static std::optional<int> answerInformationalOptions(int argc, char* argv[]);

    // Whether the arguments ask for --headless; read before QApplication
    // exists, so that the offscreen platform can be chosen for it.
    // Whether the command line names Qt's -platform or the screenshots,
    // which need the widgets even without a display. Before the
    // application object exists.
    static bool asksForWidgets(int argc, char* argv[]);
    static bool asksForHeadless(int argc, char* argv[]);

    // "RRGGBB" (every tube) or six of them separated by commas, each with or
    // without a leading '#'; empty when malformed.
    static std::optional<std::array<QColor, 6>> parseColours(const QString& text, bool* oneForAll = nullptr);

    // The options of this run, or the exit status after a usage error has
    // been written to standard error.
    static std::variant<ApplicationOptions, int> parse(const QStringList& arguments);

private:
    static void describeOptions(QCommandLineParser& parser);
};
