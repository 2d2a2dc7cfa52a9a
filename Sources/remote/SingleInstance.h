#pragma once

#include <QString>
#include <chrono>
#include <optional>

// One Halodial window per user: before a window start builds its window it
// asks the session bus whether another Halodial answers to
// org.halodial.Halodial, and hands a running window what it was asked to
// do instead of starting a second one.
//
// GUI thread, before the window exists; blocks for at most the probe's
// deadline plus callTimeout per call (a bus that never answers costs that
// once, at start). Never throws.
class SingleInstance {
public:
    static constexpr std::chrono::milliseconds busProbeDeadline {1500};
    static constexpr std::chrono::milliseconds callTimeout {3000};

    struct Running {
        bool hasWindow = false;
        QString port;
        QString portState;
    };

    // The Halodial that owns the name on this user's session bus; none
    // without a bus, without an owner, or when it does not answer.
    static std::optional<Running> find();

    // Raises the running window and gives it the port (made absolute), the
    // open and the sync of this start. Empty when done, else what went
    // wrong.
    static QString handOver(const QString& portPath, bool open, bool sync);

    // What a window start says when the headless service runs: its port
    // and state, and how to change them.
    static QString serviceRunsMessage(const Running& running);
};
