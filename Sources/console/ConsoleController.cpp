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
    log('<', bytes, msecsSinceEpoch);
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
    if (logsSent()) {
        log('>', bytes, QDateTime::currentMSecsSinceEpoch());
    }
}

void ConsoleController::echo(std::span<const std::uint8_t> bytes)
{
    if (!localEcho_) {
        return;
    }
    // As a terminal's local echo: in the output, in the order things
    // happened, but not in the log as received.
    renderer_.store(bytes, QDateTime::currentMSecsSinceEpoch());
    if (renderer_.hasPending() && !renderTimer_.isActive()) {
        renderTimer_.start();
    }
}

void ConsoleController::log(char direction, std::span<const std::uint8_t> bytes, qint64 msecsSinceEpoch)
{
    if (logMode_ != LogMode::Marked) {
        logger_.write(bytes);
        return;
    }
    // One line per chunk, so that a reader can tell who said what and
    // when, whatever bytes were said.
    QByteArray line;
    line.reserve(static_cast<qsizetype>(bytes.size()) + 32);
    line += direction;
    line += ' ';
    line += QDateTime::fromMSecsSinceEpoch(msecsSinceEpoch).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")).toLatin1();
    line += ' ';
    for (const std::uint8_t byte : bytes) {
        if (byte == '\\') {
            line += "\\\\";
        } else if (byte < 0x20 || byte == 0x7f) {
            line += "\\x" + QByteArray::number(byte, 16).rightJustified(2, '0');
        } else {
            line += static_cast<char>(byte);
        }
    }
    line += '\n';
    logger_.write(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(line.constData()),
                                                static_cast<std::size_t>(line.size())));
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
