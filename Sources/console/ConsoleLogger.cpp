#include "console/ConsoleLogger.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>

// What the GUI thread and the writer share. The writer holds it too, so a
// writer that stop() gave up on touches nothing of the logger's.
struct ConsoleLogger::Shared {
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable finishedChanged;
    QByteArray path;
    QByteArray pending;
    qsizetype inFlight = 0;  // taken by the writer, not yet written
    std::uint64_t dropped = 0;
    bool stopping = false;
    bool broken = false;  // refused or failed: bytes are dropped
    bool refused = false;
    bool finished = false;
    // The logger, while it still waits for this writer; its signals go out
    // through it, queued to the GUI thread.
    ConsoleLogger* owner = nullptr;
};

ConsoleLogger::ConsoleLogger(QObject* parent) : QObject(parent) {}

ConsoleLogger::~ConsoleLogger()
{
    stop();
}

void ConsoleLogger::start(const QString& path)
{
    stop();
    path_ = path;
    droppedAtStop_ = 0;
    shared_ = std::make_shared<Shared>();
    shared_->path = path.toLocal8Bit();
    shared_->owner = this;
    writer_ = std::thread([shared = shared_] { run(shared); });
}

void ConsoleLogger::stop()
{
    if (!writer_.joinable()) {
        return;
    }
    bool finished = false;
    {
        std::unique_lock lock(shared_->mutex);
        shared_->stopping = true;
        shared_->wake.notify_one();
        finished = shared_->finishedChanged.wait_for(lock, stopDeadline, [this] { return shared_->finished; });
        if (!finished) {
            // A write that does not return (a hung mount): what it holds
            // and what waits behind it are lost to the file.
            shared_->owner = nullptr;
            shared_->broken = true;
            shared_->dropped += static_cast<std::uint64_t>(shared_->pending.size() + shared_->inFlight);
            shared_->pending.clear();
        }
        droppedAtStop_ = shared_->dropped;
        shared_->owner = nullptr;
    }
    if (finished) {
        writer_.join();
    } else {
        writer_.detach();
    }
    shared_.reset();
}

bool ConsoleLogger::isLogging() const
{
    if (!writer_.joinable()) {
        return false;
    }
    const std::lock_guard lock(shared_->mutex);
    return !shared_->refused;
}

std::uint64_t ConsoleLogger::droppedByteCount() const
{
    if (!writer_.joinable()) {
        return droppedAtStop_;
    }
    const std::lock_guard lock(shared_->mutex);
    return shared_->dropped;
}

void ConsoleLogger::write(std::span<const std::uint8_t> bytes)
{
    if (!writer_.joinable() || bytes.empty()) {
        return;
    }
    const std::lock_guard lock(shared_->mutex);
    if (shared_->broken || shared_->pending.size() + static_cast<qsizetype>(bytes.size()) > maximumPendingBytes) {
        shared_->dropped += bytes.size();
        return;
    }
    shared_->pending.append(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
    // The writer wakes by itself within the flush interval; waking it for
    // every chunk of a flood would cost more than the writes.
}

void ConsoleLogger::run(const std::shared_ptr<Shared>& shared)
{
    // Under the mutex, so that the owner cannot go away meanwhile. A signal
    // of an earlier session that arrives after stop() and a new start() is
    // not the new session's news.
    const auto tellOwner = [&shared](auto emitIt) {
        ConsoleLogger* owner = shared->owner;
        if (!owner) {
            return;
        }
        QMetaObject::invokeMethod(
            owner,
            [owner, session = std::weak_ptr<Shared>(shared), emitIt] {
                const auto current = session.lock();
                if (current && owner->shared_ == current) {
                    emitIt(owner);
                }
            },
            Qt::QueuedConnection);
    };
    // Non-blocking, so that a FIFO without a reader fails at once instead
    // of waiting for one; the type is checked on the descriptor itself.
    const int fd = ::open(shared->path.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK,
                          0600);
    QString refusal;
    struct stat node {};
    if (fd < 0) {
        const int error = errno;
        struct stat named {};
        if (error == ELOOP) {
            refusal = tr("it is a symbolic link");
        } else if (::stat(shared->path.constData(), &named) == 0 && !S_ISREG(named.st_mode)) {
            refusal = tr("not a regular file");
        } else {
            refusal = QString::fromLocal8Bit(std::strerror(error));
        }
    } else if (::fstat(fd, &node) != 0 || !S_ISREG(node.st_mode)) {
        refusal = tr("not a regular file");
        ::close(fd);
    }

    std::unique_lock lock(shared->mutex);
    if (!refusal.isEmpty()) {
        shared->broken = true;
        shared->refused = true;
        shared->dropped += static_cast<std::uint64_t>(shared->pending.size());
        shared->pending.clear();
        tellOwner([refusal](ConsoleLogger* owner) { emit owner->refused(refusal); });
        shared->finished = true;
        shared->finishedChanged.notify_all();
        return;
    }
    tellOwner([](ConsoleLogger* owner) { emit owner->opened(); });

    QByteArray batch;
    for (;;) {
        shared->wake.wait_for(lock, flushInterval, [&shared] { return shared->stopping; });
        batch.swap(shared->pending);
        shared->inFlight = batch.size();
        const bool last = shared->stopping;
        lock.unlock();
        qsizetype written = 0;
        int error = 0;
        while (written < batch.size()) {
            const ssize_t n = ::write(fd, batch.constData() + written, static_cast<std::size_t>(batch.size() - written));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                error = n < 0 ? errno : ENOSPC;
                break;
            }
            written += n;
        }
        const auto unwritten = static_cast<std::uint64_t>(batch.size() - written);
        batch.clear();
        lock.lock();
        shared->inFlight = 0;
        // Once stop() has given up on this writer it has counted the batch.
        if (error != 0 && !shared->broken && shared->owner) {
            shared->broken = true;
            shared->dropped += unwritten;
            const QString message = QString::fromLocal8Bit(std::strerror(error));
            tellOwner([message](ConsoleLogger* owner) { emit owner->failed(message); });
        }
        if (last || !shared->owner) {
            break;
        }
    }
    shared->finished = true;
    shared->finishedChanged.notify_all();
    lock.unlock();
    ::close(fd);
}
