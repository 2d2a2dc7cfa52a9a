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
// the view in one insertion, and only the newest lines and characters stay.
class ConsoleScrollback : public QObject {
    Q_OBJECT

public:
    static constexpr int maximumLines = 10000;
    static constexpr qsizetype maximumCharacters = 1024 * 1024;
    static constexpr std::chrono::milliseconds batchInterval{50};

    explicit ConsoleScrollback(QObject* parent = nullptr);

    // The view to feed; not owned. It gets the line bound and loses its undo
    // history, which would otherwise keep every character ever received.
    void setView(QPlainTextEdit* view);
    QPlainTextEdit* view() const { return view_; }

    // Queues text for the next batch.
    void append(const QString& text);
    // Empties the view and forgets what has not been shown yet.
    void clear();
    // Shows what is queued now rather than at the end of the batch interval.
    void flush();

private:
    QPointer<QPlainTextEdit> view_;
    QString pending_;
    QTimer batchTimer_;
};
