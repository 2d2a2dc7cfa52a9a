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
// Any thread; blocks for up to the deadline. Never throws.
class SessionBusProbe {
public:
    enum class Outcome {
        Answers,      // the bus answered the authentication request
        Silent,       // connected, but no answer within the deadline
        Unreachable,  // no socket there, or the connection was refused or closed
        Unknown,      // no address, or a transport other than a Unix socket
    };

    // The address as in DBUS_SESSION_BUS_ADDRESS ("unix:path=...",
    // "unix:abstract=...", alternatives separated by ';').
    static Outcome probe(const QString& address, std::chrono::milliseconds deadline);
    // The session bus of this process's environment.
    static Outcome probeSessionBus(std::chrono::milliseconds deadline);
};
