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
    if (color == color_) {
        return;
    }
    color_ = color;
    update();
    emit colorChanged(color);
}

QColorDialog* ColorWell::dialog() const
{
    return dialog_ && dialog_->isVisible() ? dialog_.data() : nullptr;
}

void ColorWell::paintEvent(QPaintEvent* event)
{
    QPushButton::paintEvent(event);
    // A swatch with a dark rim, so that a white or pale colour still reads
    // as a colour and not as an empty field.
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const int inset = 5;
    painter.setPen(QPen(palette().color(QPalette::Shadow), 1));
    painter.setBrush(color_);
    painter.drawRoundedRect(QRectF(rect().adjusted(inset, inset, -inset, -inset)).adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
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
    // The dialog names the tube it colours: six pickers look alike otherwise.
    dialog_->setWindowTitle(accessibleName().isEmpty() ? tr("Choose a colour") : accessibleName());
    dialog_->setCurrentColor(color_);
    dialog_->open();
}

void ColorWell::pick(const QColor& color)
{
    setColor(color);
    emit activated();
}
