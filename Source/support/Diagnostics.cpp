#include "support/Diagnostics.h"

#include <cstdarg>
#include <cstdio>
#include <unistd.h>
#include <mutex>
#include <cstdlib>
#include <stdexcept>
#include <sys/stat.h>
#include <syslog.h>
#include <vector>

namespace vel {

namespace {

// Under systemd standard error may be the journal itself: it names the
// stream's device and inode in JOURNAL_STREAM ("dev:ino"). A line written to
// both syslog and that stream would reach the journal twice.
bool standardErrorIsTheJournal()
{
    const char* stream = std::getenv("JOURNAL_STREAM");
    if (!stream) {
        return false;
    }
    unsigned long long device = 0;
    unsigned long long inode = 0;
    if (std::sscanf(stream, "%llu:%llu", &device, &inode) != 2) {
        return false;
    }
    struct stat status {};
    return ::fstat(STDERR_FILENO, &status) == 0 && status.st_dev == device && status.st_ino == inode;
}

}  // namespace

void log(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::vector<char> line(static_cast<std::size_t>(length > 0 ? length : 0) + 1);
    std::vsnprintf(line.data(), line.size(), format, args);
    va_end(args);

    // Asked each time (a getenv and an fstat): diagnostics are rare, and a
    // process may hand its standard error elsewhere.
    if (standardErrorIsTheJournal()) {
        std::fprintf(stderr, "%s\n", line.data());
        return;
    }
    static std::once_flag opened;
    std::call_once(opened, [] { openlog("halodial", LOG_PID, LOG_USER); });
    syslog(LOG_NOTICE, "%s", line.data());
    std::fprintf(stderr, "%s\n", line.data());
}

void raise(const std::string& message)
{
    throw std::logic_error(message);
}

}  // namespace vel
