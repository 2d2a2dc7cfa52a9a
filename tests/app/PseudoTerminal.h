#pragma once

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include <QByteArray>
#include <QDeadlineTimer>
#include <QTest>
#include <array>
#include <climits>
#include <stdexcept>
#include <string>
#include <utility>

#include "UniqueFd.h"

// A pseudo-terminal in place of the clock: the port opens the slave path,
// the test reads at the master what went over the line. The slave stays
// open here as well, so the master never sees a hang-up while the port is
// closed.
class PseudoTerminal {
public:
    PseudoTerminal()
    {
        int master = -1;
        int slave = -1;
        std::array<char, PATH_MAX> name{};
        if (::openpty(&master, &slave, name.data(), nullptr, nullptr) != 0) {
            throw std::runtime_error("openpty failed");
        }
        master_.reset(master);
        slave_.reset(slave);
        slavePath_ = name.data();
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    }

    const std::string& slavePath() const { return slavePath_; }

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

    // Runs the event loop for `ms` and tells whether nothing arrived. Only a
    // failure proves something; a pass is as good as the wait.
    bool staysSilentFor(int ms)
    {
        QTest::qWait(ms);
        return takeAll().isEmpty();
    }

private:
    void readAvailable()
    {
        std::array<char, 4096> chunk{};
        ssize_t n = 0;
        while ((n = ::read(master_.get(), chunk.data(), chunk.size())) > 0) {
            pending_.append(chunk.data(), n);
        }
    }

    vel::UniqueFd master_;
    vel::UniqueFd slave_;
    std::string slavePath_;
    QByteArray pending_;
};
