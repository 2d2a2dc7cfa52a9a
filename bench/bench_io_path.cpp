// The port's I/O path against a plain poll(2) loop on a bare descriptor,
// measured side by side in one run on pseudo-terminals:
//   - round trip of a 43-byte frame: the port (sendData, then the delegate's
//     serialPortDidReceiveData) against write(2) + poll(2) + read(2) on a
//     slave, in interleaved blocks; the plain loop runs twice per block (an
//     A/A row, for the noise of the machine);
//   - context switches per round trip (all threads of this process, from
//     /proc/self/task/*/status), and with --strace the system calls per round
//     trip (strace -c -f attached to this process) with the port's breakdown;
//   - throughput of 20 MB into a delegate that counts bytes, against a
//     read(2) loop with a 64 KiB buffer;
//   - peak RSS growth during a 150 MB burst into a counting delegate;
//   - idle: wake-ups (context switches) per second and CPU of the process
//     with one open idle port, against the same process with none; with the
//     fake modem lines when started with LD_PRELOAD=libfake_modem_lines.so.
// The device side of every pseudo-terminal is a forked child process (an
// echo, or a flood on command), so its costs are not counted here.
//
//   bench_io_path [--blocks N] [--trips N] [--idle-seconds N] [--strace]
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <asio/steady_timer.hpp>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <span>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "dispatch/AsioMainQueue.h"
#include "support/UniqueFd.h"
#include "VELSerialPort.h"
#include "VELSerialPortDelegate.h"

namespace {

using Clock = std::chrono::steady_clock;
using Callback = VELSerialPortDelegate::Callback;
constexpr std::size_t kFrameSize = 43;

[[noreturn]] void fail(const std::string& what)
{
    std::fprintf(stderr, "bench_io_path: %s\n", what.c_str());
    std::exit(1);
}

void makeRaw(int fd)
{
    termios raw{};
    ::tcgetattr(fd, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(fd, TCSANOW, &raw);
}

struct Pty {
    vel::UniqueFd master;
    vel::UniqueFd slave;  // held so the master never reads EIO between opens
    std::string path;
    Pty()
    {
        int m = -1;
        int s = -1;
        std::array<char, 128> name{};
        if (::openpty(&m, &s, name.data(), nullptr, nullptr) != 0) {
            fail("openpty");
        }
        master.reset(m);
        slave.reset(s);
        makeRaw(m);
        makeRaw(s);
        path = name.data();
    }
};

bool writeAll(int fd, const std::uint8_t* data, std::size_t size)
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
            pollfd p{fd, POLLOUT, 0};
            ::poll(&p, 1, 1000);
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// --- The device: a child process echoing both masters, flooding on command.

struct Command {
    int which;  // 0: the port's pty, 1: the plain loop's
    std::uint64_t bytes;
};

[[noreturn]] void runDevice(int masters[2], int commands)
{
    std::vector<std::uint8_t> buffer(64 * 1024);
    std::vector<std::uint8_t> flood(64 * 1024);
    for (std::size_t i = 0; i < flood.size(); ++i) {
        flood[i] = static_cast<std::uint8_t>(i * 7);
    }
    for (;;) {
        pollfd fds[3] = {{masters[0], POLLIN, 0}, {masters[1], POLLIN, 0}, {commands, POLLIN, 0}};
        if (::poll(fds, 3, -1) < 0) {
            continue;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].revents & POLLIN) {
                const ssize_t n = ::read(masters[i], buffer.data(), buffer.size());
                if (n > 0) {
                    writeAll(masters[i], buffer.data(), static_cast<std::size_t>(n));
                }
            }
        }
        if (fds[2].revents & (POLLIN | POLLHUP)) {
            Command command{};
            if (::read(commands, &command, sizeof command) != sizeof command) {
                ::_exit(0);
            }
            for (std::uint64_t left = command.bytes; left > 0;) {
                const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, flood.size()));
                if (!writeAll(masters[command.which], flood.data(), n)) {
                    ::_exit(1);
                }
                left -= n;
            }
        }
    }
}

// --- Measures.

long contextSwitches()
{
    long total = 0;
    DIR* tasks = ::opendir("/proc/self/task");
    while (dirent* entry = tasks ? ::readdir(tasks) : nullptr) {
        if (entry->d_name[0] == '.') {
            continue;
        }
        std::ifstream status(std::string("/proc/self/task/") + entry->d_name + "/status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0 || line.rfind("nonvoluntary_ctxt_switches:", 0) == 0) {
                total += std::atol(line.substr(line.find(':') + 1).c_str());
            }
        }
    }
    if (tasks) {
        ::closedir(tasks);
    }
    return total;
}

long threadCount()
{
    long count = 0;
    DIR* tasks = ::opendir("/proc/self/task");
    while (dirent* entry = tasks ? ::readdir(tasks) : nullptr) {
        count += entry->d_name[0] != '.';
    }
    if (tasks) {
        ::closedir(tasks);
    }
    return count;
}

long statusKiB(const char* key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(key, 0) == 0) {
            return std::atol(line.substr(line.find(':') + 1).c_str());
        }
    }
    return 0;
}

double cpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto s = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return s(usage.ru_utime) + s(usage.ru_stime);
}

double percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size())))];
}

// --- The port side.

class Echoing : public VELSerialPortDelegate {
public:
    explicit Echoing(vel::AsioMainQueue& main) : main_(main) {}
    Callbacks implementedCallbacks() const override { return {Callback::DidReceiveData, Callback::WasOpened}; }
    void serialPortWasRemovedFromSystem(const std::shared_ptr<VELSerialPort>&) override { fail("port removed"); }
    void serialPortWasOpened(const std::shared_ptr<VELSerialPort>&) override
    {
        opened = true;
        main_.stop();
    }
    void serialPortDidReceiveData(const std::shared_ptr<VELSerialPort>& port, std::span<const std::uint8_t> data) override
    {
        received += data.size();
        if (counting) {
            if (received >= target) {
                main_.stop();
            }
            return;
        }
        if (received < kFrameSize) {
            return;
        }
        received -= kFrameSize;
        const auto now = Clock::now();
        times.push_back(std::chrono::duration<double, std::micro>(now - sentAt).count());
        if (--tripsLeft == 0) {
            main_.stop();
            return;
        }
        sendFrame(*port);
    }
    void sendFrame(VELSerialPort& port)
    {
        sentAt = Clock::now();
        port.sendData(frame);
    }

    std::array<std::uint8_t, kFrameSize> frame{};
    bool opened = false;
    bool counting = false;
    std::uint64_t received = 0;
    std::uint64_t target = 0;
    int tripsLeft = 0;
    Clock::time_point sentAt;
    std::vector<double> times;

private:
    vel::AsioMainQueue& main_;
};

struct Bench {
    vel::AsioMainQueue& main;
    std::shared_ptr<VELSerialPort> port;
    std::shared_ptr<Echoing> echo;
    int plainSlave;
    int commands;

    void portTrips(int n)
    {
        echo->counting = false;
        echo->received = 0;
        echo->tripsLeft = n;
        main.post([this] { echo->sendFrame(*port); });
        main.run();
    }

    std::vector<double> plainTrips(int n)
    {
        std::array<std::uint8_t, kFrameSize> frame{};
        std::array<std::uint8_t, 4096> in{};
        std::vector<double> times;
        for (int i = 0; i < n; ++i) {
            const auto start = Clock::now();
            writeAll(plainSlave, frame.data(), frame.size());
            std::size_t got = 0;
            while (got < kFrameSize) {
                pollfd p{plainSlave, POLLIN, 0};
                if (::poll(&p, 1, 5000) <= 0) {
                    fail("plain loop: no echo");
                }
                const ssize_t r = ::read(plainSlave, in.data(), in.size());
                if (r <= 0) {
                    fail("plain loop: read failed");
                }
                got += static_cast<std::size_t>(r);
            }
            times.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        }
        return times;
    }

    void command(int which, std::uint64_t bytes)
    {
        const Command c{which, bytes};
        if (::write(commands, &c, sizeof c) != sizeof c) {
            fail("device command");
        }
    }

    double portReceive(std::uint64_t bytes)
    {
        echo->counting = true;
        echo->received = 0;
        echo->target = bytes;
        const auto start = Clock::now();
        command(0, bytes);
        main.run();
        return std::chrono::duration<double>(Clock::now() - start).count();
    }

    double plainReceive(std::uint64_t bytes)
    {
        std::vector<std::uint8_t> buffer(64 * 1024);
        const auto start = Clock::now();
        command(1, bytes);
        for (std::uint64_t got = 0; got < bytes;) {
            pollfd p{plainSlave, POLLIN, 0};
            if (::poll(&p, 1, 5000) <= 0) {
                fail("plain receive stalled");
            }
            const ssize_t r = ::read(plainSlave, buffer.data(), buffer.size());
            if (r <= 0) {
                fail("plain receive failed");
            }
            got += static_cast<std::uint64_t>(r);
        }
        return std::chrono::duration<double>(Clock::now() - start).count();
    }

    void runMainFor(std::chrono::milliseconds window)
    {
        asio::steady_timer timer(main.context(), window);
        timer.async_wait([this](const asio::error_code&) { main.stop(); });
        main.run();
    }
};

// strace -c -f attached to this process while `work` runs; the summary.
std::string straceWhile(const std::function<void()>& work)
{
    char path[] = "/tmp/bench_io_path-strace-XXXXXX";
    const int fd = ::mkstemp(path);
    if (fd < 0) {
        fail("mkstemp");
    }
    ::close(fd);
    const std::string self = std::to_string(::getpid());
    const pid_t tracer = ::fork();
    if (tracer == 0) {
        ::execlp("strace", "strace", "-c", "-f", "-p", self.c_str(), "-o", path, static_cast<char*>(nullptr));
        ::_exit(127);
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));  // let it attach to every thread
    work();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ::kill(tracer, SIGINT);
    ::waitpid(tracer, nullptr, 0);
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    ::unlink(path);
    return text.str();
}

long straceTotalCalls(const std::string& summary)
{
    std::istringstream lines(summary);
    std::string line;
    long total = -1;
    while (std::getline(lines, line)) {
        if (line.find(" total") != std::string::npos) {
            std::istringstream fields(line);
            double pct = 0;
            double secs = 0;
            long usecs = 0;
            long calls = 0;
            fields >> pct >> secs >> usecs >> calls;
            total = calls;
        }
    }
    return total;
}

}  // namespace

int main(int argc, char** argv)
{
    int blocks = 20;
    int trips = 200;
    int idleSeconds = 10;
    bool strace = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--blocks" && i + 1 < argc) {
            blocks = std::atoi(argv[++i]);
        } else if (a == "--trips" && i + 1 < argc) {
            trips = std::atoi(argv[++i]);
        } else if (a == "--idle-seconds" && i + 1 < argc) {
            idleSeconds = std::atoi(argv[++i]);
        } else if (a == "--strace") {
            strace = true;
        } else {
            fail("usage: bench_io_path [--blocks N] [--trips N] [--idle-seconds N] [--strace]");
        }
    }
    ::signal(SIGPIPE, SIG_IGN);

    // Forked before any thread exists.
    Pty portPty;
    Pty plainPty;
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) {
        fail("pipe");
    }
    const pid_t device = ::fork();
    if (device == 0) {
        ::close(pipeFds[1]);
        int masters[2] = {portPty.master.get(), plainPty.master.get()};
        runDevice(masters, pipeFds[0]);
    }
    ::close(pipeFds[0]);
    portPty.master.reset();
    plainPty.master.reset();

    auto mainQueue = std::make_shared<vel::AsioMainQueue>();
    vel::MainQueue::setShared(mainQueue);
    auto echo = std::make_shared<Echoing>(*mainQueue);
    auto port = VELSerialPort::initWithPath(portPty.path);
    if (!port) {
        fail("no port for " + portPty.path);
    }
    port->setDelegate(echo);
    const long threadsBefore = threadCount();
    port->open();
    mainQueue->run();
    if (!echo->opened) {
        fail("port did not open");
    }

    Bench bench{*mainQueue, port, echo, plainPty.slave.get(), pipeFds[1]};

    // Warm-up.
    bench.plainTrips(100);
    bench.portTrips(100);
    std::printf("Threads of the process: %ld before the open, %ld with the port open and used (pseudo-terminal)\n",
                threadsBefore, threadCount());

    std::vector<double> plainA;
    std::vector<double> plainB;
    std::vector<double> portTimes;
    echo->times.clear();
    long portSwitches = 0;
    long plainSwitches = 0;
    for (int b = 0; b < blocks; ++b) {
        // The order rotates, so that no side always follows the same one.
        for (int k = 0; k < 3; ++k) {
            switch ((b + k) % 3) {
            case 0: {
                const long before = contextSwitches();
                auto t = bench.plainTrips(trips);
                plainSwitches += contextSwitches() - before;
                plainA.insert(plainA.end(), t.begin(), t.end());
                break;
            }
            case 1: {
                auto t = bench.plainTrips(trips);
                plainB.insert(plainB.end(), t.begin(), t.end());
                break;
            }
            default: {
                const long before = contextSwitches();
                bench.portTrips(trips);
                portSwitches += contextSwitches() - before;
                break;
            }
            }
        }
    }
    portTimes = echo->times;
    const double n = static_cast<double>(blocks) * trips;
    const double mA = percentile(plainA, 0.5);
    const double pA = percentile(plainA, 0.99);
    std::printf("Round trip of a 43-byte frame, %d interleaved blocks of %d, microseconds\n", blocks, trips);
    std::printf("  %-22s %9s %9s %12s %10s\n", "", "median", "p99", "median ratio", "p99 ratio");
    const auto row = [&](const char* name, const std::vector<double>& t) {
        const double m = percentile(t, 0.5);
        const double p = percentile(t, 0.99);
        std::printf("  %-22s %9.1f %9.1f %11.2fx %9.2fx\n", name, m, p, m / mA, p / pA);
    };
    row("plain poll loop", plainA);
    row("plain poll loop (A/A)", plainB);
    row("port", portTimes);
    std::printf("Context switches per round trip (all threads of this process)\n");
    std::printf("  plain poll loop %.2f, port %.2f\n", static_cast<double>(plainSwitches) / n,
                static_cast<double>(portSwitches) / n);

    if (strace) {
        constexpr int kTraced = 2000;
        const std::string plainSummary = straceWhile([&] { bench.plainTrips(kTraced); });
        const std::string portSummary = straceWhile([&] { bench.portTrips(kTraced); });
        std::printf("System calls per round trip (strace -c -f, %d trips each)\n", kTraced);
        std::printf("  plain poll loop %.2f, port %.2f\n", static_cast<double>(straceTotalCalls(plainSummary)) / kTraced,
                    static_cast<double>(straceTotalCalls(portSummary)) / kTraced);
        std::printf("The port's system calls:\n%s", portSummary.c_str());
    }

    constexpr std::uint64_t kThroughputBytes = 20'000'000;
    std::vector<double> plainRates;
    std::vector<double> portRates;
    for (int r = 0; r < 3; ++r) {
        plainRates.push_back(static_cast<double>(kThroughputBytes) / bench.plainReceive(kThroughputBytes) / 1e6);
        portRates.push_back(static_cast<double>(kThroughputBytes) / bench.portReceive(kThroughputBytes) / 1e6);
    }
    const double plainRate = percentile(plainRates, 0.5);
    const double portRate = percentile(portRates, 0.5);
    std::printf("Receive throughput, 20 MB, median of 3 interleaved runs\n");
    std::printf("  plain 64 KiB read loop %.1f MB/s, port %.1f MB/s, ratio %.2fx\n", plainRate, portRate,
                portRate / plainRate);

    {
        constexpr std::uint64_t kBurst = 150'000'000;
        std::ofstream("/proc/self/clear_refs") << "5";  // resets the peak to the current RSS
        const long before = statusKiB("VmRSS:");
        bench.portReceive(kBurst);
        const long peak = statusKiB("VmHWM:");
        std::printf("Peak RSS growth during a 150 MB burst into the port: %+.2f MB\n",
                    static_cast<double>(peak - before) / 1024);
    }

    // Idle: the process with no port, then with the open idle port.
    const auto idle = [&](const char* name) {
        const long switches = contextSwitches();
        const double cpu = cpuSeconds();
        bench.runMainFor(std::chrono::seconds(idleSeconds));
        std::printf("  %-34s %8.1f wake-ups/s %7.3f %% CPU\n", name,
                    static_cast<double>(contextSwitches() - switches) / idleSeconds,
                    100 * (cpuSeconds() - cpu) / idleSeconds);
    };
    std::printf("Idle over %d s (context switches of all threads)\n", idleSeconds);
    port->close();
    bench.runMainFor(std::chrono::milliseconds(500));
    idle("no port open");
    {
        Pty idlePty;
        auto idlePort = VELSerialPort::initWithPath(idlePty.path);
        auto quiet = std::make_shared<Echoing>(*mainQueue);
        idlePort->setDelegate(quiet);
        idlePort->open();
        mainQueue->run();
        bench.runMainFor(std::chrono::milliseconds(500));
        idle("open idle port, pseudo-terminal");
        idlePort->close();
        bench.runMainFor(std::chrono::milliseconds(500));
    }
    using Attach = void (*)(dev_t, int, int);
    if (auto attach = reinterpret_cast<Attach>(::dlsym(RTLD_DEFAULT, "fakeModemLinesAttach"))) {
        for (int refused = 0; refused < 2; ++refused) {
            Pty idlePty;
            struct stat status{};
            ::stat(idlePty.path.c_str(), &status);
            attach(status.st_rdev, TIOCM_CTS, refused);
            auto idlePort = VELSerialPort::initWithPath(idlePty.path);
            auto quiet = std::make_shared<Echoing>(*mainQueue);
            idlePort->setDelegate(quiet);
            idlePort->open();
            mainQueue->run();
            bench.runMainFor(std::chrono::milliseconds(500));
            idle(refused ? "fake modem lines, no line events" : "fake modem lines, TIOCMIWAIT");
            idlePort->close();
            bench.runMainFor(std::chrono::milliseconds(500));
        }
    } else {
        std::printf("  (fake modem lines: run with LD_PRELOAD=libfake_modem_lines.so)\n");
    }
    ::close(pipeFds[1]);
    ::waitpid(device, nullptr, 0);
    return 0;
}
