#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

// One of the clock's tubes: a glass tube on its socket, the digit inside lit
// by the tube's backlight. A black backlight is off and leaves the digit a
// faint shape in dark glass. Scales with the widget, keeping its proportions.
class TubeDisplay : public QWidget {
    Q_OBJECT

public:
    explicit TubeDisplay(QWidget* parent = nullptr);

    QString digit() const { return digit_; }
    QColor colour() const { return colour_; }
    bool isLit() const;

    void setDigit(const QString& digit);
    void setColour(const QColor& colour);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString digit_;
    QColor colour_{Qt::black};
};
