#pragma once

#include <string>

// Diagnostics of the serial library: a plain log line (system log and
// standard error, no levels) and the assertion that raises on programming
// errors.
namespace vel {

// printf-style; writes one line to syslog(3) and to standard error. When
// standard error is the journal's own stream (systemd sets JOURNAL_STREAM to
// its device and inode), the line goes there only, so that the journal holds
// it once.
void log(const char* format, ...) __attribute__((format(printf, 1, 2)));

// A programming error of a caller (a port built without a device, a buffer
// built without a maximum): throws std::logic_error with the message.
[[noreturn]] void raise(const std::string& message);

}  // namespace vel
