#include "console/ConsoleScrollback.h"

#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>

ConsoleScrollback::ConsoleScrollback(QObject* parent) : QObject(parent)
{
    batchTimer_.setSingleShot(true);
    batchTimer_.setInterval(batchInterval);
    connect(&batchTimer_, &QTimer::timeout, this, &ConsoleScrollback::flush);
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
    pending_ += text;
    // Whatever lies beyond the bound now would be trimmed from the view at
    // once: do not even insert it.
    if (pending_.size() > maximumCharacters) {
        pending_.remove(0, pending_.size() - maximumCharacters);
    }
    if (!batchTimer_.isActive()) {
        batchTimer_.start();
    }
}

void ConsoleScrollback::clear()
{
    batchTimer_.stop();
    pending_.clear();
    if (view_) {
        view_->clear();
    }
}

void ConsoleScrollback::flush()
{
    batchTimer_.stop();
    if (!view_) {
        pending_.clear();
        return;
    }
    if (pending_.isEmpty()) {
        return;
    }
    QScrollBar* scrollBar = view_->verticalScrollBar();
    const bool following = scrollBar->value() == scrollBar->maximum();

    QTextDocument* document = view_->document();
    QTextCursor cursor(document);
    cursor.beginEditBlock();
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(pending_);
    pending_.clear();
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
