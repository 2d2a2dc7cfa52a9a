#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <optional>
#include <span>

#include "console/ConsoleLogger.h"
#include "console/ConsoleRenderer.h"
#include "console/SendHistory.h"

class ConsoleScrollback;

// The console's behaviour between the port and the view: received bytes go
// into the record, the log and the view (as text or hex, with or without
// times); the typed line becomes bytes (as text, or as hex when asked); the
// history follows what was sent. The window's controller hands it what the
// port says and what it sends; the widgets are the window's. GUI thread.
class ConsoleController : public QObject {
    Q_OBJECT

public:
    // Bytes drawn per piece, and how long one turn may go on drawing pieces.
    static constexpr qsizetype renderPieceBytes = 16 * 1024;
    static constexpr std::chrono::milliseconds renderBudget{4};

    // `scrollback` feeds the view; it must outlive the console.
    explicit ConsoleController(ConsoleScrollback& scrollback, QObject* parent = nullptr);
    ~ConsoleController() override;

    // Bytes from the current port: to the log and the record at once, to
    // the view a bounded piece per event-loop turn, so that a flood of data
    // callbacks leaves the sync timer and typing their turns. The arrival
    // time is now unless given.
    void receive(std::span<const std::uint8_t> bytes);
    void receive(std::span<const std::uint8_t> bytes, qint64 msecsSinceEpoch);
    // Bytes that went out to the port: logged when logsSent().
    void didSend(std::span<const std::uint8_t> bytes);
    // Bytes the user sent (console text, save frames; never the sync's time
    // frames): shown in the output among what arrives when localEcho().
    void echo(std::span<const std::uint8_t> bytes);

    // The current port changed: what comes next does not continue an
    // unfinished character or line of the last one.
    void startNewStream();
    // Received bytes not drawn yet.
    bool hasPendingBytes() const { return renderer_.hasPending(); }

    // Empties the view and the record (Clear, and each opening); the log
    // file keeps what it has.
    void clear();

    bool hexView() const { return renderer_.view() == ConsoleRenderer::View::Hex; }
    bool showsTimestamps() const { return renderer_.showsTimestamps(); }
    bool sendsHex() const { return sendsHex_; }
    // What the log file gets: the bytes received as they came (Received),
    // both directions as they came (Both), or both as lines marked "> "
    // for sent and "< " for received, each with its time and with control
    // bytes written as \xHH (Marked).
    enum class LogMode { Received, Both, Marked };
    LogMode logMode() const { return logMode_; }
    void setLogMode(LogMode mode) { logMode_ = mode; }
    bool logsSent() const { return logMode_ != LogMode::Received; }
    bool localEcho() const { return localEcho_; }
    void setLocalEcho(bool echo) { localEcho_ = echo; }
    // The view is drawn again from the record the new way.
    void setHexView(bool hex);
    void setShowsTimestamps(bool shows);
    void setSendsHex(bool hex);
    void setLogsSent(bool logs) { logMode_ = logs ? LogMode::Both : LogMode::Received; }

    // Starts appending to `path` (stopping any earlier log). The file is
    // opened off the GUI thread: loggingChanged(true, path) follows once it
    // is, loggingFailed() when it cannot be or is not a regular file.
    void startLogging(const QString& path);
    // Blocks up to ConsoleLogger::stopDeadline; bytes that did not reach
    // the file are said through loggingFailed().
    void stopLogging();
    bool isLogging() const { return logger_.isLogging(); }
    QString logPath() const { return logger_.path(); }

    // What the typed `line` sends: its UTF-8, or the hex bytes it names.
    // Absent, with inputError() saying why, when the hex is malformed.
    std::optional<QByteArray> bytesForLine(const QString& line);
    // Checks `line` as typed (hex input only): the message for a malformed
    // byte, or empty.
    QString checkInput(const QString& line);
    QString inputError() const { return inputError_; }

    SendHistory& history() { return history_; }
    const ConsoleRenderer& renderer() const { return renderer_; }

signals:
    // Any of the view options changed (hex view, timestamps, hex input).
    void optionsChanged();
    // Logging started or stopped; `path` is where it goes, empty once it stops.
    void loggingChanged(bool logging, const QString& path);
    // The message for a malformed hex byte changed; empty once it is mended.
    void inputErrorChanged(const QString& message);
    // The log file stopped taking bytes.
    void loggingFailed(const QString& message);

private:
    void renderPending();
    void log(char direction, std::span<const std::uint8_t> bytes, qint64 msecsSinceEpoch);
    QString lostBytesMessage() const;
    void redraw();
    void setInputError(const QString& message);

    ConsoleScrollback& scrollback_;
    ConsoleRenderer renderer_;
    ConsoleLogger logger_;
    SendHistory history_;
    bool sendsHex_ = false;
    LogMode logMode_ = LogMode::Received;
    bool localEcho_ = false;
    QString inputError_;
    QTimer renderTimer_;
};
