#pragma once

#include <QColor>
#include <QPointer>
#include <QPushButton>

class QColorDialog;

// A button that shows a colour and lets the user pick another one. Only a
// colour the user picked counts as an action (activated); setting the colour
// from the program fires no action, so code can fill the wells without
// triggering their handlers. Every change of the colour, whoever made it,
// is told by colorChanged (what a frame carries follows it).
class ColorWell : public QPushButton {
    Q_OBJECT
    Q_PROPERTY(QColor color READ color WRITE setColor NOTIFY colorChanged)

public:
    explicit ColorWell(QWidget* parent = nullptr);

    QColor color() const { return color_; }
    void setColor(const QColor& color);

    // The picker the last click opened, while it is open; for tests and for
    // the window to position it.
    QColorDialog* dialog() const;

signals:
    void activated();
    void colorChanged(const QColor& color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void openDialog();
    void pick(const QColor& color);

    QColor color_{Qt::white};
    QPointer<QColorDialog> dialog_;
};
