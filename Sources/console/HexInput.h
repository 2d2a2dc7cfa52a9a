#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QString>

// The console's input read as hex bytes: "41 42 0D", "41420D" and
// "41,42,0d" are the same three bytes. Each byte is two hex digits; spaces,
// tabs and commas separate them and are otherwise ignored. Pure; any thread.
class HexInput {
    Q_DECLARE_TR_FUNCTIONS(HexInput)

public:
    struct Result {
        QByteArray bytes;
        // Empty when the whole input is well formed.
        QString error;
        // Where the malformed byte starts in the input, and its length.
        qsizetype errorStart = -1;
        qsizetype errorLength = 0;

        bool isValid() const { return error.isEmpty(); }
    };

    static Result parse(const QString& input);
    // The value of one hex digit (either case), or -1.
    static int hexValue(QChar c);
};
