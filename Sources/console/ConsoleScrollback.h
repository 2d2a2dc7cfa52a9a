#pragma once

#include <QObject>
#include <QPlainTextEdit>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <chrono>

// The console view's feed: text received from the device, appended in
// batches and kept within a bound. A device that talks without pause (or a
// wrong baud rate turning noise into text) must neither make the window
// crawl nor fill the memory, so text collects for a moment and goes into
// the view in slices of bounded time, each event-loop turn inserting at most
// what sliceBudget allows before typing and the time sync get their turn;
// only the newest lines and characters stay. A line longer than
// maximumLineLength is broken into blocks of that length: laying out one
// enormous paragraph costs the view far more than many short ones.
class ConsoleScrollback : public QObject {
    Q_OBJECT

public:
    static constexpr int maximumLines = 10000;
    static constexpr qsizetype maximumCharacters = 1024 * 1024;
    static constexpr std::chrono::milliseconds batchInterval{50};
    static constexpr qsizetype maximumLineLength = 4096;
    static constexpr std::chrono::milliseconds sliceBudget{8};

    explicit ConsoleScrollback(QObject* parent = nullptr);

    // The view to feed; not owned. It gets the line bound and loses its undo
    // history, which would otherwise keep every character ever received.
    void setView(QPlainTextEdit* view);
    QPlainTextEdit* view() const { return view_; }

    // Queues text for the next batch.
    void append(const QString& text);
    // Empties the view and forgets what has not been shown yet.
    void clear();
    // Shows everything queued now rather than slice by slice; blocks the
    // GUI thread for as long as that takes.
    void flush();
    // Characters queued and not shown yet.
    qsizetype pendingCharacterCount() const { return pending_.size(); }

private:
    void insertSlice(qsizetype length);
    void showSlices();

    QPointer<QPlainTextEdit> view_;
    QString pending_;
    QTimer batchTimer_;
    // Characters since the last line break, over all appends.
    qsizetype column_ = 0;
};
