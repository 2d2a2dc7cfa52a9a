#include "ColorWell.h"

#include <QColorDialog>
#include <QPainter>

ColorWell::ColorWell(QWidget* parent) : QPushButton(parent)
{
    setMinimumSize(32, 24);
    connect(this, &QPushButton::clicked, this, &ColorWell::openDialog);
}

void ColorWell::setColor(const QColor& color)
{
    color_ = color;
    update();
}

QColorDialog* ColorWell::dialog() const
{
    return dialog_ && dialog_->isVisible() ? dialog_.data() : nullptr;
}

void ColorWell::paintEvent(QPaintEvent* event)
{
    QPushButton::paintEvent(event);
    QPainter painter(this);
    const int inset = 6;
    painter.setPen(palette().color(QPalette::Mid));
    painter.setBrush(color_);
    painter.drawRect(rect().adjusted(inset, inset, -inset - 1, -inset - 1));
}

void ColorWell::openDialog()
{
    // One picker per well, kept between clicks. open() rather than exec():
    // no nested event loop, so the time sync keeps ticking while the user
    // chooses.
    if (!dialog_) {
        dialog_ = new QColorDialog(this);
        connect(dialog_, &QColorDialog::colorSelected, this, &ColorWell::pick);
    }
    dialog_->setCurrentColor(color_);
    dialog_->open();
}

void ColorWell::pick(const QColor& color)
{
    setColor(color);
    emit activated();
}
