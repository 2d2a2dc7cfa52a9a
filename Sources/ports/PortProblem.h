#pragma once

#include <QCoreApplication>
#include <QString>
#include <optional>
#include <sys/types.h>

namespace vel {
class PosixError;
}

// A failed call on a serial port in words a user can act on: what went wrong
// with which device, and what to do about it. The window's status line and
// the headless mode's standard-error line both say it this way; the
// programmer's form of the error (vel::PosixError::description) stays on
// standard output.
//
// Everything here reads the file system and /proc on the calling thread; it
// does not block beyond that and never fails: what cannot be found out is
// left out of the message.
class PortProblem {
    Q_DECLARE_TR_FUNCTIONS(PortProblem)

public:
    // Another process that has the device open.
    struct Holder {
        QString command;  // its /proc/PID/comm
        pid_t pid = 0;
    };

    // The plain words for `code` (an errno) on the device at `path`:
    //   EACCES, EPERM           permission, naming the device's real group;
    //   EWOULDBLOCK, EBUSY      in use, naming the holder when /proc tells;
    //                           EBUSY with no holder: the terminal's
    //                           exclusive flag was left set, and how to
    //                           clear it;
    //   ENOENT, ENXIO, ENODEV   no device there;
    //   anything else           the system's message, with the path.
    static QString describe(int code, const QString& path);
    static QString describe(const vel::PosixError& error);

    // The process other than this one that holds `path`: first the owner of
    // a lock on it in /proc/locks, else one with it among its /proc/PID/fd.
    static std::optional<Holder> holderOf(const QString& path);

    // The name of the group that owns the device node, or empty.
    static QString groupOf(const QString& path);
};
