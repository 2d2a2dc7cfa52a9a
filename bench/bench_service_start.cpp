// How fast and how lean the service starts: from exec of
// `halodial --headless --port PTY --sync` to the first byte of its first
// frame at the pseudo-terminal's master, and the resident memory and thread
// count at that moment; beside a minimal Qt program that opens the terminal
// and writes one frame (minimal_frame_writer), started the same way,
// alternately, in the same run.
//
//   bench_service_start [starts]     (default 30)
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Start {
    double milliseconds = 0;
    double residentMiB = 0;
    int threads = 0;
};

long statusField(pid_t pid, const std::string& field)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field + ":", 0) == 0) {
            return std::strtol(line.c_str() + field.size() + 1, nullptr, 10);
        }
    }
    return -1;
}

// One start of `program` with the pty's slave path appended to `arguments`.
bool startOnce(const char* program, std::vector<std::string> arguments, const std::string& configHome, Start& start)
{
    int master = -1;
    int slave = -1;
    char name[128] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        return false;
    }
    for (auto& argument : arguments) {
        if (argument == "PTY") {
            argument = name;
        }
    }
    std::vector<char*> argv{const_cast<char*>(program)};
    for (auto& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    const auto began = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(master);
        ::setenv("XDG_CONFIG_HOME", configHome.c_str(), 1);
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        ::execv(program, argv.data());
        ::_exit(127);
    }
    pollfd ready{master, POLLIN, 0};
    const bool arrived = ::poll(&ready, 1, 10000) > 0;
    const auto at = Clock::now();
    start.milliseconds = std::chrono::duration<double, std::milli>(at - began).count();
    start.residentMiB = static_cast<double>(statusField(pid, "VmRSS")) / 1024.0;
    start.threads = static_cast<int>(statusField(pid, "Threads"));
    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ::close(master);
    ::close(slave);
    return arrived;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char* argv[])
{
    const int starts = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    char configHome[] = "/tmp/bench_service_start.XXXXXX";
    if (!::mkdtemp(configHome)) {
        std::perror("mkdtemp");
        return 1;
    }
    struct Program {
        const char* label;
        const char* path;
        std::vector<std::string> arguments;
        std::vector<Start> starts;
    };
    std::vector<Program> programs{
        {"halodial --headless --sync", HALODIAL_BINARY, {"--headless", "--port", "PTY", "--sync"}, {}},
        {"minimal Qt frame writer", MINIMAL_FRAME_WRITER, {"PTY"}, {}},
    };
    for (int i = 0; i < starts; ++i) {
        for (Program& program : programs) {
            Start start;
            if (!startOnce(program.path, program.arguments, configHome, start)) {
                std::fprintf(stderr, "%s: no frame within 10 s\n", program.label);
                return 1;
            }
            program.starts.push_back(start);
        }
    }
    std::printf("exec to first frame over %d starts each       median ms   RSS MiB   threads\n", starts);
    for (const Program& program : programs) {
        std::vector<double> ms;
        std::vector<double> rss;
        std::vector<double> threads;
        for (const Start& start : program.starts) {
            ms.push_back(start.milliseconds);
            rss.push_back(start.residentMiB);
            threads.push_back(start.threads);
        }
        std::printf("  %-40s %9.1f %9.1f %9.0f\n", program.label, median(ms), median(rss), median(threads));
    }
    return 0;
}
