#include "console/ConsoleSearchBar.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPlainTextEdit>

#include "console/ConsoleSearch.h"

ConsoleSearchBar::ConsoleSearchBar(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* label = new QLabel(tr("Find:"), this);
    field_ = new QLineEdit(this);
    field_->setObjectName(QStringLiteral("searchField"));
    field_->setAccessibleName(tr("Find in the console"));
    field_->setPlaceholderText(tr("Text to find"));
    field_->setClearButtonEnabled(true);
    label->setBuddy(field_);
    auto* previous = new QToolButton(this);
    previous->setObjectName(QStringLiteral("findPreviousButton"));
    previous->setText(tr("Previous"));
    previous->setToolTip(tr("Find the previous match (Shift+Enter)"));
    auto* next = new QToolButton(this);
    next->setObjectName(QStringLiteral("findNextButton"));
    next->setText(tr("Next"));
    next->setToolTip(tr("Find the next match (Enter)"));
    auto* close = new QToolButton(this);
    close->setText(tr("Close"));
    close->setToolTip(tr("Close the find bar (Escape)"));
    note_ = new QLabel(this);
    note_->setStyleSheet(QStringLiteral("color: #b02020"));
    layout->addWidget(label);
    layout->addWidget(field_, 1);
    layout->addWidget(previous);
    layout->addWidget(next);
    layout->addWidget(note_);
    layout->addWidget(close);
    connect(previous, &QToolButton::clicked, this, &ConsoleSearchBar::findPrevious);
    connect(next, &QToolButton::clicked, this, &ConsoleSearchBar::findNext);
    connect(close, &QToolButton::clicked, this, &QWidget::hide);
    connect(field_, &QLineEdit::textChanged, note_, &QLabel::clear);
    field_->installEventFilter(this);
    hide();
}

void ConsoleSearchBar::activate()
{
    show();
    field_->setFocus(Qt::ShortcutFocusReason);
    field_->selectAll();
}

bool ConsoleSearchBar::findNext()
{
    return find(false);
}

bool ConsoleSearchBar::findPrevious()
{
    return find(true);
}

bool ConsoleSearchBar::find(bool backward)
{
    if (!view_ || field_->text().isEmpty()) {
        note_->clear();
        return false;
    }
    const bool found = ConsoleSearch::find(*view_, field_->text(),
                                           backward ? ConsoleSearch::Direction::Backward
                                                    : ConsoleSearch::Direction::Forward);
    note_->setText(found ? QString() : tr("Not found"));
    return found;
}

bool ConsoleSearchBar::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && watched == field_) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            find(key->modifiers() & Qt::ShiftModifier);
            return true;
        }
        if (key->key() == Qt::Key_Escape) {
            hide();
            if (view_) {
                view_->setFocus(Qt::OtherFocusReason);
            }
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
