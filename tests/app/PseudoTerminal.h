#pragma once

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include <QByteArray>
#include <QTest>
#include <array>
#include <climits>
#include <stdexcept>
#include <string>

#include "MasterReader.h"
#include "support/UniqueFd.h"

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
        reader_ = MasterReader(master);
    }

    const std::string& slavePath() const { return slavePath_; }
    int masterFd() const { return master_.get(); }
    int slaveFd() const { return slave_.get(); }

    QByteArray take(qsizetype count) { return reader_.take(count); }
    QByteArray takeAll() { return reader_.takeAll(); }

    // Runs the event loop for `ms` and tells whether nothing arrived. Only a
    // failure proves something; a pass is as good as the wait.
    bool staysSilentFor(int ms)
    {
        QTest::qWait(ms);
        return takeAll().isEmpty();
    }

private:
    vel::UniqueFd master_;
    vel::UniqueFd slave_;
    std::string slavePath_;
    MasterReader reader_{-1};  // set once the master is open
};
