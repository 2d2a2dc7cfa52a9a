#include "console/ConsoleLogger.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

ConsoleLogger::ConsoleLogger(QObject* parent) : QObject(parent) {}

ConsoleLogger::~ConsoleLogger()
{
    stop();
}

bool ConsoleLogger::start(const QString& path)
{
    stop();
    const QByteArray name = path.toLocal8Bit();
    vel::UniqueFd fd(::open(name.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
    if (fd.get() < 0) {
        errorString_ = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    errorString_.clear();
    path_ = path;
    fd_ = std::move(fd);
    {
        const std::lock_guard lock(mutex_);
        stopping_ = false;
        broken_ = false;
        dropped_ = 0;
        pending_.clear();
    }
    writer_ = std::thread([this] { run(); });
    return true;
}

void ConsoleLogger::stop()
{
    if (!writer_.joinable()) {
        return;
    }
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    writer_.join();
    fd_.reset();
}

std::uint64_t ConsoleLogger::droppedByteCount() const
{
    const std::lock_guard lock(mutex_);
    return dropped_;
}

void ConsoleLogger::write(std::span<const std::uint8_t> bytes)
{
    if (!writer_.joinable() || bytes.empty()) {
        return;
    }
    const std::lock_guard lock(mutex_);
    if (broken_ || pending_.size() + static_cast<qsizetype>(bytes.size()) > maximumPendingBytes) {
        dropped_ += bytes.size();
        return;
    }
    pending_.append(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
    // The writer wakes by itself within the flush interval; waking it for
    // every chunk of a flood would cost more than the writes.
}

void ConsoleLogger::run()
{
    QByteArray batch;
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait_for(lock, flushInterval, [this] { return stopping_; });
        batch.swap(pending_);
        const bool last = stopping_;
        lock.unlock();
        qsizetype written = 0;
        int error = 0;
        while (written < batch.size()) {
            const ssize_t n = ::write(fd_.get(), batch.constData() + written,
                                      static_cast<std::size_t>(batch.size() - written));
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
        if (error != 0 && !broken_) {
            broken_ = true;
            dropped_ += unwritten;
            lock.unlock();
            emit failed(QString::fromLocal8Bit(std::strerror(error)));
            lock.lock();
        }
        if (last) {
            return;
        }
    }
}
