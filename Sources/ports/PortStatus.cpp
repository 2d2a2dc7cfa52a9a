#include "ports/PortStatus.h"

PortStatus::PortStatus(QObject* parent) : QObject(parent) {}

void PortStatus::setState(State state, const QString& portName)
{
    const bool changed = state != state_;
    state_ = state;
    portName_ = portName;
    apply();
    if (changed) {
        emit stateChanged(state);
    }
    emit textChanged(text());
}

void PortStatus::setProblem(const QString& problem)
{
    problem_ = problem;
    emit textChanged(text());
}

QString PortStatus::text() const
{
    QString words;
    switch (state_) {
    case State::NoPort:
        words = tr("No port chosen.");
        break;
    case State::Closed:
        words = tr("%1 is closed.").arg(portName_);
        break;
    case State::Opening:
        words = tr("Opening %1\u2026").arg(portName_);
        break;
    case State::Open:
        words = tr("%1 is open.").arg(portName_);
        break;
    case State::Gone:
        words = tr("%1 is gone (unplugged or hung up).").arg(portName_);
        break;
    case State::Waiting:
        words = tr("Waiting for %1 to come back\u2026").arg(portName_);
        break;
    }
    return problem_.isEmpty() ? words : words + QLatin1Char(' ') + problem_;
}

QString PortStatus::buttonTitle() const
{
    return state_ == State::Open || state_ == State::Waiting ? tr("Close") : tr("Open");
}

QString PortStatus::buttonAccessibleName() const
{
    switch (state_) {
    case State::NoPort:
        return tr("Open (no port chosen)");
    case State::Open:
        return tr("Close %1").arg(portName_);
    case State::Waiting:
        return tr("Stop waiting for %1").arg(portName_);
    case State::Closed:
    case State::Opening:
    case State::Gone:
        break;
    }
    return tr("Open %1").arg(portName_);
}

void PortStatus::setButton(QPushButton* button)
{
    button_ = button;
    apply();
}

void PortStatus::apply()
{
    if (button_) {
        button_->setText(buttonTitle());
        button_->setAccessibleName(buttonAccessibleName());
    }
}
