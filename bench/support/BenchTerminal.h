#pragma once

// A pseudo-terminal for a benchmark's device side: the master for the
// benchmark's own reader or echo, the slave's path for the port. Both ends
// close with it.
#include <array>
#include <climits>
#include <cstdio>
#include <optional>
#include <pty.h>

#include "support/UniqueFd.h"

struct BenchTerminal {
    vel::UniqueFd master;
    vel::UniqueFd slave;
    std::array<char, PATH_MAX> path{};

    // None, with the reason on standard error, when the system has none left.
    static std::optional<BenchTerminal> open()
    {
        BenchTerminal terminal;
        int masterFd = -1;
        int slaveFd = -1;
        if (::openpty(&masterFd, &slaveFd, terminal.path.data(), nullptr, nullptr) != 0) {
            std::perror("openpty");
            return std::nullopt;
        }
        terminal.master = vel::UniqueFd(masterFd);
        terminal.slave = vel::UniqueFd(slaveFd);
        return terminal;
    }
};
