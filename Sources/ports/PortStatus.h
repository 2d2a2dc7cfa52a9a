#pragma once

#include <QObject>
#include <QPointer>
#include <QPushButton>
#include <QString>

// What the window says about the current port, derived from one state in
// one place: the status line's text (the state in words, then the last
// problem in plain words), and the Open/Close button's title and accessible
// name, which say what pressing it will do and to which port. GUI thread.
class PortStatus : public QObject {
    Q_OBJECT

public:
    // Waiting is for a port that went away and is to come back.
    enum class State { NoPort, Closed, Opening, Open, Gone, Waiting };
    Q_ENUM(State)

    explicit PortStatus(QObject* parent = nullptr);

    State state() const { return state_; }
    // The port the state is about (the current one, or the one gone or
    // awaited).
    QString portName() const { return portName_; }
    QString problem() const { return problem_; }

    // A new state for the port named `portName`; the problem stays.
    void setState(State state, const QString& portName);
    // The problem in plain words, shown after the state; empty clears it.
    void setProblem(const QString& problem);

    QString text() const;
    // "Close" while the port is open or awaited (pressing it closes or ends
    // the waiting), else "Open".
    QString buttonTitle() const;
    QString buttonAccessibleName() const;

    // The button follows every change from now on.
    void setButton(QPushButton* button);

signals:
    void stateChanged(PortStatus::State state);
    void textChanged(const QString& text);

private:
    void apply();

    State state_ = State::NoPort;
    QString portName_;
    QString problem_;
    QPointer<QPushButton> button_;
};
