#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <thread>

// Writes the console's traffic, raw, to a file the user chose: appended to
// what the file holds, on a thread of its own, so a slow disk never holds up
// the window. What is handed over reaches the file within flushInterval.
//
// Only a regular file is taken. The file is opened on the writing thread,
// without following a symbolic link in its last component and without
// waiting (O_NOFOLLOW | O_NONBLOCK): a FIFO, a device or a hung mount chosen
// by mistake must not freeze the window. A new file is made readable by its
// owner alone (0600), as the console may carry whatever the device says.
//
// The interface and every signal are on the GUI thread.
class ConsoleLogger : public QObject {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds flushInterval{250};
    // How long stop() waits for a writer that a write holds up; after that
    // the writer is left to finish on its own and what it held is counted
    // as dropped.
    static constexpr std::chrono::milliseconds stopDeadline{1000};
    // Bytes waiting beyond this (a disk that stopped taking them) are
    // dropped and counted rather than filling the memory.
    static constexpr qsizetype maximumPendingBytes = 64 * 1024 * 1024;

    explicit ConsoleLogger(QObject* parent = nullptr);
    // Stops as stop() does.
    ~ConsoleLogger() override;

    // Starts logging to `path`: any logging under way stops first, then the
    // writer opens the file for appending (creating it) on its own thread.
    // Returns at once; opened() or refused() follows. Bytes handed over in
    // between are kept for the file.
    void start(const QString& path);
    // Writes what is still waiting, closes the file and ends the writer.
    // Blocks up to stopDeadline; see droppedByteCount() for what was lost.
    void stop();

    // From start() until stop() or a refusal.
    bool isLogging() const;
    QString path() const { return path_; }
    // Bytes that did not reach the file since start(): the disk did not
    // keep up or failed, or stop() gave up on a stuck write.
    std::uint64_t droppedByteCount() const;

    // Hands bytes to the writer; returns at once. Nothing while not logging.
    void write(std::span<const std::uint8_t> bytes);

signals:
    // The file is open and takes the bytes.
    void opened();
    // The file was not opened (`message`: the system's words, or that it is
    // not a regular file); logging has ended.
    void refused(const QString& message);
    // Writing failed; logging has stopped taking bytes. `message` is the
    // system's words.
    void failed(const QString& message);

private:
    struct Shared;
    static void run(const std::shared_ptr<Shared>& shared);

    QString path_;
    std::shared_ptr<Shared> shared_;
    std::thread writer_;
    std::uint64_t droppedAtStop_ = 0;
};
