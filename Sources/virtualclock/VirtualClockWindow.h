#pragma once

#include <QPointer>
#include <QWidget>
#include <array>

#include "clock/ClockFrame.h"

class QLabel;
class QPushButton;
class TubeDisplay;
class VirtualClock;

// Shows a virtual clock: its six tubes as the real clock has them, the
// device it plays, what it has received, and a button to unplug it or plug
// it in again. The clock is not owned; the window goes blank if it goes.
class VirtualClockWindow : public QWidget {
    Q_OBJECT

public:
    explicit VirtualClockWindow(VirtualClock& clock, QWidget* parent = nullptr);

    VirtualClock* clock() const { return clock_; }
    TubeDisplay* tube(int index) const { return tubes_.at(index); }

    // Non-printable bytes and bytes that are no UTF-8 as \xNN; a backslash
    // doubled, so that the escapes stay unambiguous.
    static QString escapedBytes(const QByteArray& bytes);

private:
    QWidget* makeFace();
    void showState();
    void showDevice();
    void togglePlug();

    QPointer<VirtualClock> clock_;
    std::array<TubeDisplay*, ClockFrame::kTubeCount> tubes_{};
    QLabel* device_ = nullptr;
    QLabel* lastFrame_ = nullptr;
    QLabel* frameCounts_ = nullptr;
    QLabel* unparseable_ = nullptr;
    QPushButton* plugButton_ = nullptr;
};
