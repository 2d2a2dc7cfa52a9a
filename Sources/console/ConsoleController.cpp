#include "console/ConsoleController.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <iostream>
#include <limits>

#include "console/ConsoleScrollback.h"
#include "console/ConsoleView.h"
#include "console/HexInput.h"

ConsoleController::ConsoleController(ConsoleScrollback& scrollback, QObject* parent)
    : QObject(parent), scrollback_(scrollback), history_(this)
{
    connect(&logger_, &ConsoleLogger::failed, this, [this](const QString& message) {
        emit loggingFailed(tr("Logging to %1 failed: %2").arg(logger_.path(), message));
    });
    connect(&logger_, &ConsoleLogger::opened, this, [this] { emit loggingChanged(true, logger_.path()); });
    connect(&logger_, &ConsoleLogger::refused, this, [this](const QString& message) {
        logger_.stop();
        emit loggingFailed(tr("Cannot log to %1: %2").arg(QDir::toNativeSeparators(logger_.path()), message));
    });
    renderTimer_.setSingleShot(true);
    renderTimer_.setInterval(0);
    connect(&renderTimer_, &QTimer::timeout, this, &ConsoleController::renderPending);
}

ConsoleController::~ConsoleController()
{
    // On the way out there is no window left to say it in.
    if (logger_.isLogging()) {
        logger_.stop();
        if (const QString lost = lostBytesMessage(); !lost.isEmpty()) {
            std::cerr << "halodial: " << lost.toStdString() << std::endl;
        }
    }
}

void ConsoleController::receive(std::span<const std::uint8_t> bytes)
{
    receive(bytes, QDateTime::currentMSecsSinceEpoch());
}

void ConsoleController::receive(std::span<const std::uint8_t> bytes, qint64 msecsSinceEpoch)
{
    logger_.write(bytes);
    renderer_.store(bytes, msecsSinceEpoch);
    if (renderer_.hasPending() && !renderTimer_.isActive()) {
        renderTimer_.start();
    }
}

void ConsoleController::renderPending()
{
    QElapsedTimer elapsed;
    elapsed.start();
    while (renderer_.hasPending() && elapsed.elapsed() < renderBudget.count()) {
        scrollback_.append(renderer_.renderPending(renderPieceBytes));
    }
    if (renderer_.hasPending()) {
        renderTimer_.start();
    }
}

void ConsoleController::startNewStream()
{
    // What the last port sent is drawn to its end before the next stream
    // begins afresh.
    renderTimer_.stop();
    scrollback_.append(renderer_.renderPending(std::numeric_limits<qsizetype>::max()));
    renderer_.startNewStream();
}

void ConsoleController::didSend(std::span<const std::uint8_t> bytes)
{
    if (logsSent_) {
        logger_.write(bytes);
    }
}

void ConsoleController::clear()
{
    renderTimer_.stop();
    renderer_.clear();
    scrollback_.clear();
}

void ConsoleController::setHexView(bool hex)
{
    if (hex == hexView()) {
        return;
    }
    renderer_.setView(hex ? ConsoleRenderer::View::Hex : ConsoleRenderer::View::Text);
    redraw();
}

void ConsoleController::setShowsTimestamps(bool shows)
{
    if (shows == showsTimestamps()) {
        return;
    }
    renderer_.setShowsTimestamps(shows);
    redraw();
}

void ConsoleController::setSendsHex(bool hex)
{
    if (hex == sendsHex_) {
        return;
    }
    sendsHex_ = hex;
    setInputError(QString());
    emit optionsChanged();
}

void ConsoleController::redraw()
{
    if (auto* view = qobject_cast<ConsoleView*>(scrollback_.view())) {
        view->setHexView(hexView());
    }
    scrollback_.clear();
    scrollback_.append(renderer_.redraw(ConsoleScrollback::maximumLines));
    scrollback_.flush();
    emit optionsChanged();
}

void ConsoleController::startLogging(const QString& path)
{
    stopLogging();
    logger_.start(path);
}

void ConsoleController::stopLogging()
{
    if (!logger_.isLogging()) {
        return;
    }
    logger_.stop();
    emit loggingChanged(false, QString());
    if (const QString lost = lostBytesMessage(); !lost.isEmpty()) {
        emit loggingFailed(lost);
    }
}

QString ConsoleController::lostBytesMessage() const
{
    const std::uint64_t dropped = logger_.droppedByteCount();
    if (dropped == 0) {
        return {};
    }
    return tr("Logging to %1 stopped; %2 bytes did not reach the file.")
        .arg(QDir::toNativeSeparators(logger_.path()))
        .arg(dropped);
}

std::optional<QByteArray> ConsoleController::bytesForLine(const QString& line)
{
    if (!sendsHex_) {
        setInputError(QString());
        return line.toUtf8();
    }
    HexInput::Result parsed = HexInput::parse(line);
    setInputError(parsed.error);
    if (!parsed.isValid()) {
        return std::nullopt;
    }
    return std::move(parsed.bytes);
}

QString ConsoleController::checkInput(const QString& line)
{
    setInputError(sendsHex_ ? HexInput::parse(line).error : QString());
    return inputError_;
}

void ConsoleController::setInputError(const QString& message)
{
    if (message != inputError_) {
        inputError_ = message;
        emit inputErrorChanged(message);
    }
}
