#include "console/SendHistory.h"

#include <QKeyEvent>
#include <QLineEdit>

SendHistory::SendHistory(QObject* parent, qsizetype bound) : QObject(parent), bound_(bound > 0 ? bound : 1) {}

void SendHistory::attach(QLineEdit* field)
{
    if (field_) {
        field_->removeEventFilter(this);
    }
    field_ = field;
    if (field_) {
        field_->installEventFilter(this);
    }
}

void SendHistory::add(const QString& line)
{
    if (!line.isEmpty() && (lines_.isEmpty() || lines_.constLast() != line)) {
        lines_.append(line);
        if (lines_.size() > bound_) {
            lines_.remove(0, lines_.size() - bound_);
        }
    }
    position_ = lines_.size();
    draft_.clear();
}

std::optional<QString> SendHistory::older(const QString& typed)
{
    if (position_ == 0) {
        return std::nullopt;
    }
    if (position_ == lines_.size()) {
        draft_ = typed;
    }
    return lines_.at(--position_);
}

std::optional<QString> SendHistory::newer()
{
    if (position_ >= lines_.size()) {
        return std::nullopt;
    }
    ++position_;
    return position_ == lines_.size() ? draft_ : lines_.at(position_);
}

bool SendHistory::eventFilter(QObject* watched, QEvent* event)
{
    // The type first: while the field is being destroyed it is no longer a
    // QLineEdit, and the pointer must not be looked at.
    if (event->type() == QEvent::KeyPress && watched == field_.data()) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() == Qt::NoModifier || key->modifiers() == Qt::KeypadModifier) {
            std::optional<QString> line;
            if (key->key() == Qt::Key_Up) {
                line = older(field_->text());
            } else if (key->key() == Qt::Key_Down) {
                line = newer();
            } else {
                return QObject::eventFilter(watched, event);
            }
            if (line) {
                field_->setText(*line);
            }
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}
