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

    // The options of this run, or the exit status after a usage error has
    // been written to standard error.
    static std::variant<ApplicationOptions, int> parse(const QStringList& arguments);

private:
    static void describeOptions(QCommandLineParser& parser);
};
