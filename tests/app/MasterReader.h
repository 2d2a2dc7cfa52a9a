#pragma once

#include <unistd.h>

#include <QByteArray>
#include <QDeadlineTimer>
#include <QTest>
#include <array>
#include <utility>

// Reads what a port wrote, at the non-blocking master side of the
// pseudo-terminal that plays its device, while the event loop runs.
class MasterReader {
public:
    explicit MasterReader(int masterFd) : fd_(masterFd) {}

    // The next `count` bytes, waiting up to ten seconds for them; fewer only
    // when they did not come.
    QByteArray take(qsizetype count)
    {
        const QDeadlineTimer deadline(10000);
        while (readAvailable(), pending_.size() < count && !deadline.hasExpired()) {
            QTest::qWait(5);
        }
        const QByteArray head = pending_.left(count);
        pending_.remove(0, head.size());
        return head;
    }

    // Everything that has arrived so far.
    QByteArray takeAll()
    {
        readAvailable();
        return std::exchange(pending_, QByteArray());
    }

private:
    void readAvailable()
    {
        std::array<char, 4096> chunk{};
        ssize_t n = 0;
        while ((n = ::read(fd_, chunk.data(), chunk.size())) > 0) {
            pending_.append(chunk.data(), n);
        }
    }

    int fd_;
    QByteArray pending_;
};
