#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <span>
#include <thread>

#include "support/UniqueFd.h"

// Writes the console's traffic, raw, to a file the user chose: appended to
// what the file holds, on a thread of its own, so a slow disk never holds up
// the window. What is handed over reaches the file within flushInterval.
//
// The interface is for the GUI thread; failed() is emitted from the writing
// thread (connect it queued, which is Qt's default across threads).
class ConsoleLogger : public QObject {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds flushInterval{250};
    // Bytes waiting beyond this (a disk that stopped taking them) are
    // dropped and counted rather than filling the memory.
    static constexpr qsizetype maximumPendingBytes = 64 * 1024 * 1024;

    explicit ConsoleLogger(QObject* parent = nullptr);
    // Stops as stop() does.
    ~ConsoleLogger() override;

    // Opens `path` for appending (creating it) and starts the writer. Any
    // logging under way stops first. False, with errorString() saying why,
    // when the file cannot be opened; does not block beyond the open itself.
    bool start(const QString& path);
    // Writes what is still waiting, closes the file and ends the writer.
    // Blocks until the waiting bytes are written.
    void stop();

    bool isLogging() const { return fd_.get() >= 0; }
    QString path() const { return path_; }
    QString errorString() const { return errorString_; }
    // Bytes dropped since start() because the disk did not keep up.
    std::uint64_t droppedByteCount() const;

    // Hands bytes to the writer; returns at once. Nothing while not logging.
    void write(std::span<const std::uint8_t> bytes);

signals:
    // Writing failed; logging has stopped taking bytes. `message` is the
    // system's words.
    void failed(const QString& message);

private:
    void run();

    QString path_;
    QString errorString_;
    vel::UniqueFd fd_;
    std::thread writer_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    QByteArray pending_;
    std::uint64_t dropped_ = 0;
    bool stopping_ = false;
    bool broken_ = false;
};
