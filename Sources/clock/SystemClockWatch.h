#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>

// How good this computer's time is, as the kernel's clock discipline tells
// it (adjtimex, read only): synchronised to a time source (NTP, PTP) or
// not, and its estimated error. The tubes show this computer's time, so a
// clock that is not synchronised may be off by any amount, and the window
// says so. Read at start and once a minute. GUI thread.
class SystemClockWatch : public QObject {
    Q_OBJECT

public:
    struct Reading {
        bool synchronised = false;
        std::chrono::microseconds estimatedError{0};
        friend bool operator==(const Reading&, const Reading&) = default;
    };

    static constexpr std::chrono::seconds interval{60};

    explicit SystemClockWatch(QObject* parent = nullptr);

    // The kernel's state now; not synchronised when it cannot be read.
    static Reading read();
    // "System clock synchronised (±N ms)", or that it is not and what that
    // means for the tubes.
    static QString describe(const Reading& reading);

    Reading reading() const { return reading_; }
    QString text() const { return describe(reading_); }

    // Reads again now (the timer does so every interval).
    void update();

signals:
    // The text changed (a new error estimate, or the state).
    void textChanged(const QString& text);
    // Synchronised, or no longer.
    void synchronisedChanged(bool synchronised);

private:
    Reading reading_;
    QTimer timer_;
};
