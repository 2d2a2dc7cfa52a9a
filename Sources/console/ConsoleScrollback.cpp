#include "console/ConsoleScrollback.h"

#include <QElapsedTimer>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>

ConsoleScrollback::ConsoleScrollback(QObject* parent) : QObject(parent)
{
    batchTimer_.setSingleShot(true);
    batchTimer_.setInterval(batchInterval);
    connect(&batchTimer_, &QTimer::timeout, this, &ConsoleScrollback::showSlices);
}

void ConsoleScrollback::setView(QPlainTextEdit* view)
{
    view_ = view;
    if (view_) {
        view_->setMaximumBlockCount(maximumLines);
        view_->setUndoRedoEnabled(false);
    }
}

void ConsoleScrollback::append(const QString& text)
{
    if (text.isEmpty()) {
        return;
    }
    // Break overlong lines as the text arrives, so that every later step
    // sees short blocks only.
    pending_.reserve(pending_.size() + text.size() + text.size() / maximumLineLength + 1);
    qsizetype start = 0;
    while (start < text.size()) {
        const qsizetype newline = text.indexOf(QLatin1Char('\n'), start);
        const qsizetype end = newline < 0 ? text.size() : newline;
        while (end - start > maximumLineLength - column_) {
            qsizetype take = maximumLineLength - column_;
            // Never between the halves of a surrogate pair.
            if (take > 0 && text.at(start + take - 1).isHighSurrogate()) {
                --take;
            }
            pending_ += QStringView(text).mid(start, take);
            pending_ += QLatin1Char('\n');
            start += take;
            column_ = 0;
        }
        pending_ += QStringView(text).mid(start, end - start);
        column_ += end - start;
        start = end;
        if (newline >= 0) {
            pending_ += QLatin1Char('\n');
            column_ = 0;
            start = newline + 1;
        }
    }
    // Whatever lies beyond the bound now would be trimmed from the view at
    // once: do not even insert it.
    if (pending_.size() > maximumCharacters) {
        pending_.remove(0, pending_.size() - maximumCharacters);
    }
    if (!batchTimer_.isActive()) {
        batchTimer_.start(batchInterval);
    }
}

void ConsoleScrollback::clear()
{
    batchTimer_.stop();
    pending_.clear();
    column_ = 0;
    if (view_) {
        view_->clear();
    }
}

void ConsoleScrollback::showSlices()
{
    if (!view_) {
        pending_.clear();
        return;
    }
    // Slices of a few lines' worth until the budget is spent; the rest waits
    // for the next turn of the event loop, after whatever else is due.
    constexpr qsizetype sliceLength = 4 * maximumLineLength;
    QElapsedTimer spent;
    spent.start();
    while (!pending_.isEmpty() && spent.elapsed() < sliceBudget.count()) {
        qsizetype length = std::min(sliceLength, pending_.size());
        if (length < pending_.size() && pending_.at(length - 1).isHighSurrogate()) {
            --length;
        }
        insertSlice(length);
    }
    if (!pending_.isEmpty()) {
        batchTimer_.start(0);
    } else {
        batchTimer_.setInterval(batchInterval);
    }
}

void ConsoleScrollback::flush()
{
    batchTimer_.stop();
    if (!view_) {
        pending_.clear();
        return;
    }
    if (!pending_.isEmpty()) {
        insertSlice(pending_.size());
    }
}

void ConsoleScrollback::insertSlice(qsizetype length)
{
    QScrollBar* scrollBar = view_->verticalScrollBar();
    const bool following = scrollBar->value() == scrollBar->maximum();

    QTextDocument* document = view_->document();
    QTextCursor cursor(document);
    cursor.beginEditBlock();
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(pending_.left(length));
    pending_.remove(0, length);
    // The document counts its final paragraph separator as a character.
    const int excess = document->characterCount() - 1 - static_cast<int>(maximumCharacters);
    if (excess > 0) {
        cursor.setPosition(0);
        cursor.setPosition(excess, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
    }
    cursor.endEditBlock();

    // A reader who scrolled back keeps their place; otherwise the newest
    // text stays in sight.
    if (following) {
        scrollBar->setValue(scrollBar->maximum());
    }
}
