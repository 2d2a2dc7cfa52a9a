#pragma once

#include <QString>
#include <chrono>

// Whether the session bus answers at all, asked with a deadline. Joining the
// bus through Qt DBus waits for the bus's handshake without a limit, on a
// thread that every other D-Bus call shares: a bus that accepts the
// connection and then never speaks (hung, or half started) would stall
// whoever asks first. The probe starts the same handshake on a socket of its
// own and waits for the first answer, at most `deadline`.
//
// Any thread; blocks for up to the deadline, plus the system's name lookup
// of a TCP bus's host. Never throws.
class SessionBusProbe {
public:
    enum class Outcome {
        Answers,      // the bus answered the authentication request
        Silent,       // connected (or connecting), but no answer within the deadline
        Unreachable,  // no socket there, or the connection was refused or closed
        Unknown,      // no address, or a transport not known here (autolaunch:, ...)
    };

    // The address as in DBUS_SESSION_BUS_ADDRESS: "unix:" with path=,
    // abstract= or runtime=yes, "tcp:" and "nonce-tcp:" with host=, port=
    // and family=; alternatives separated by ';' are tried in order, and
    // the first that connects is the bus, as libdbus does.
    static Outcome probe(const QString& address, std::chrono::milliseconds deadline);
    // The session bus of this process's environment; without an address,
    // $XDG_RUNTIME_DIR/bus, where libdbus looks too.
    static Outcome probeSessionBus(std::chrono::milliseconds deadline);
};
