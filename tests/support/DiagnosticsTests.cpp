// The library's log line reaches the system log once. No journal runs here,
// so this binary stands in for syslog(3) itself: it counts the lines the
// library hands to it (with _FORTIFY_SOURCE, calls go to __syslog_chk).
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

#include "support/Diagnostics.h"
#include "support/UniqueFd.h"

namespace {
int systemLogLines = 0;
}

extern "C" {
void syslog(int, const char*, ...) { ++systemLogLines; }
void vsyslog(int, const char*, va_list) { ++systemLogLines; }
void __syslog_chk(int, int, const char*, ...) { ++systemLogLines; }
}

namespace {

// Standard error goes to a file of its own while alive.
class CapturedStandardError {
public:
    CapturedStandardError()
    {
        char name[] = "/tmp/halodial-diagnostics-XXXXXX";
        file_ = vel::UniqueFd(::mkstemp(name));
        ::unlink(name);
        std::fflush(stderr);
        saved_ = vel::UniqueFd(::dup(STDERR_FILENO));
        ::dup2(file_.get(), STDERR_FILENO);
    }
    ~CapturedStandardError()
    {
        std::fflush(stderr);
        ::dup2(saved_.get(), STDERR_FILENO);
    }

    // "dev:ino" of the file, as systemd names the journal's stream.
    std::string identity() const
    {
        struct stat status {};
        ::fstat(file_.get(), &status);
        return std::to_string(status.st_dev) + ":" + std::to_string(status.st_ino);
    }

    std::string text() const
    {
        std::fflush(stderr);
        std::string all;
        char buffer[256];
        ssize_t n = 0;
        for (off_t at = 0; (n = ::pread(file_.get(), buffer, sizeof buffer, at)) > 0; at += n) {
            all.append(buffer, static_cast<std::size_t>(n));
        }
        return all;
    }

private:
    vel::UniqueFd file_;
    vel::UniqueFd saved_;
};

}  // namespace

TEST(Diagnostics, ALineReachesTheSystemLogOnceWhetherOrNotStandardErrorIsTheJournal)
{
    CapturedStandardError captured;

    // Standard error is the journal's stream: the line goes there only.
    ::setenv("JOURNAL_STREAM", captured.identity().c_str(), 1);
    vel::log("port %s went away", "ttyUSB0");
    EXPECT_EQ(systemLogLines, 0);
    EXPECT_EQ(captured.text(), "port ttyUSB0 went away\n");

    // Another stream (the service's output handed to a file, say): both.
    ::setenv("JOURNAL_STREAM", "1:1", 1);
    vel::log("second");
    ::unsetenv("JOURNAL_STREAM");
    vel::log("third");
    EXPECT_EQ(systemLogLines, 2);
    EXPECT_EQ(captured.text(), "port ttyUSB0 went away\nsecond\nthird\n");
}
