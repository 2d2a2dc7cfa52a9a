#pragma once

// Checks as a normal user. CI and most build containers run as root, and
// root passes what stops everyone else: file modes and a terminal's
// exclusive flag (TIOCEXCL). A fault there never shows as root, so these
// helpers drop to `nobody` in a child process. Without GoogleTest or Qt, so
// that both kinds of test binaries can use them.

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <grp.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace test {

// nobody and nogroup on Debian and most other systems.
inline constexpr uid_t kNobodyId = 65534;

inline bool runsAsRoot()
{
    return ::geteuid() == 0;
}

// In a child that was just forked: gives up root for good. Only system
// calls, so that it is safe after fork() in a process with threads.
inline bool dropToNobody()
{
    return ::setgroups(0, nullptr) == 0 && ::setresgid(kNobodyId, kNobodyId, kNobodyId) == 0 &&
           ::setresuid(kNobodyId, kNobodyId, kNobodyId) == 0;
}

// Makes a device node (a pseudo-terminal's slave) usable by nobody, as a
// user owns the terminals of their own session; as a normal user the node
// is the user's already. Returns false, errno set.
inline bool handToNobody(const std::string& path)
{
    return !runsAsRoot() || (::chown(path.c_str(), kNobodyId, kNobodyId) == 0 && ::chmod(path.c_str(), 0600) == 0);
}

// Opens `path` read-write as a normal user would, in a child process (as
// nobody when this process is root), and closes it again. Returns 0 when the
// open succeeded, else its errno. Blocks until the child has ended, which
// takes no longer than one open with O_NONBLOCK.
inline int openErrorAsNormalUser(const std::string& path)
{
    const pid_t child = ::fork();
    if (child < 0) {
        return errno;
    }
    if (child == 0) {
        if (runsAsRoot() && !dropToNobody()) {
            ::_exit(EPERM);
        }
        const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        ::_exit(fd < 0 ? (errno & 0xff) : 0);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : ECHILD;
}

// Runs this very program again as nobody with `arguments` (for example a
// test filter that picks the current test) and returns its exit status, or
// 128 + the signal that ended it. The program then finds itself not root
// and runs the normal user's side. Call only as root.
inline int runThisProgramAsNobody(std::string argument)
{
    char self[PATH_MAX] = {};
    // Read before the fork: once the child has changed its ids it may not
    // be allowed to look at its own /proc entry.
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) {
        return 126;
    }
    const pid_t child = ::fork();
    if (child < 0) {
        return 126;
    }
    if (child == 0) {
        if (!dropToNobody()) {
            ::_exit(125);
        }
        char* const arguments[] = {self, argument.data(), nullptr};
        ::execv(self, arguments);
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace test
