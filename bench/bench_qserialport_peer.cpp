// The peer to beat: Qt 6's QSerialPort answering 43-byte round trips on a
// pseudo-terminal, against the same plain poll(2) + read(2)/write(2) loop
// that bench_io_path measures the port against, in interleaved blocks of one
// run. Built only where Qt6SerialPort is installed; the figures go beside
// bench_io_path's as ratios to the plain loop of each run.
//
//   bench_qserialport_peer [--blocks N] [--trips N]
#include <dirent.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>
#include <sys/wait.h>

#include <QCoreApplication>
#include <QSerialPort>
#include <algorithm>
#include <csignal>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kFrameSize = 43;

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "bench_qserialport_peer: %s\n", what);
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
    int master = -1;
    int slave = -1;
    std::string path;
    Pty()
    {
        std::array<char, 128> name{};
        if (::openpty(&master, &slave, name.data(), nullptr, nullptr) != 0) {
            fail("openpty");
        }
        makeRaw(master);
        makeRaw(slave);
        path = name.data();
    }
};

[[noreturn]] void echo(int a, int b)
{
    std::array<char, 65536> buffer{};
    for (;;) {
        pollfd fds[2] = {{a, POLLIN, 0}, {b, POLLIN, 0}};
        ::poll(fds, 2, -1);
        for (auto& f : fds) {
            if (f.revents & POLLHUP) {
                ::_exit(0);
            }
            if (f.revents & POLLIN) {
                const ssize_t n = ::read(f.fd, buffer.data(), buffer.size());
                if (n <= 0 || ::write(f.fd, buffer.data(), static_cast<std::size_t>(n)) != n) {
                    ::_exit(0);
                }
            }
        }
    }
}

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

double percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size())))];
}

std::vector<double> plainTrips(int fd, int n)
{
    std::array<char, kFrameSize> frame{};
    std::array<char, 4096> in{};
    std::vector<double> times;
    for (int i = 0; i < n; ++i) {
        const auto start = Clock::now();
        if (::write(fd, frame.data(), frame.size()) != kFrameSize) {
            fail("plain write");
        }
        for (int got = 0; got < kFrameSize;) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 5000) <= 0) {
                fail("plain loop: no echo");
            }
            const ssize_t r = ::read(fd, in.data(), in.size());
            if (r <= 0) {
                fail("plain read");
            }
            got += static_cast<int>(r);
        }
        times.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    return times;
}

}  // namespace

int main(int argc, char** argv)
{
    int blocks = 20;
    int trips = 200;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        if (a == "--blocks") {
            blocks = std::atoi(argv[i + 1]);
        } else if (a == "--trips") {
            trips = std::atoi(argv[i + 1]);
        }
    }
    Pty peerPty;
    Pty plainPty;
    const pid_t device = ::fork();
    if (device == 0) {
        echo(peerPty.master, plainPty.master);
    }
    ::close(peerPty.master);
    ::close(plainPty.master);

    QCoreApplication app(argc, argv);
    QSerialPort port(QString::fromStdString(peerPty.path));
    port.setBaudRate(115200);
    if (!port.open(QIODevice::ReadWrite)) {
        fail("QSerialPort did not open");
    }
    const QByteArray frame(kFrameSize, '\0');
    std::vector<double> peerTimes;
    int left = 0;
    qint64 received = 0;
    Clock::time_point sentAt;
    QObject::connect(&port, &QSerialPort::readyRead, [&] {
        received += port.readAll().size();
        while (received >= kFrameSize) {
            received -= kFrameSize;
            peerTimes.push_back(std::chrono::duration<double, std::micro>(Clock::now() - sentAt).count());
            if (--left == 0) {
                app.quit();
                return;
            }
            sentAt = Clock::now();
            port.write(frame);
        }
    });
    const auto peerTrips = [&](int n) {
        left = n;
        sentAt = Clock::now();
        port.write(frame);
        app.exec();
    };

    plainTrips(plainPty.slave, 100);
    peerTrips(100);
    peerTimes.clear();
    std::vector<double> plain;
    long plainSwitches = 0;
    long peerSwitches = 0;
    for (int b = 0; b < blocks; ++b) {
        for (int k = 0; k < 2; ++k) {
            const long before = contextSwitches();
            if ((b + k) % 2 == 0) {
                auto t = plainTrips(plainPty.slave, trips);
                plain.insert(plain.end(), t.begin(), t.end());
                plainSwitches += contextSwitches() - before;
            } else {
                peerTrips(trips);
                peerSwitches += contextSwitches() - before;
            }
        }
    }
    const double n = static_cast<double>(blocks) * trips;
    const double mA = percentile(plain, 0.5);
    const double pA = percentile(plain, 0.99);
    std::printf("Round trip of a 43-byte frame, %d interleaved blocks of %d, microseconds\n", blocks, trips);
    std::printf("  %-22s %9s %9s %12s %10s\n", "", "median", "p99", "median ratio", "p99 ratio");
    std::printf("  %-22s %9.1f %9.1f %11.2fx %9.2fx\n", "plain poll loop", mA, pA, 1.0, 1.0);
    const double m = percentile(peerTimes, 0.5);
    const double p = percentile(peerTimes, 0.99);
    std::printf("  %-22s %9.1f %9.1f %11.2fx %9.2fx\n", "Qt 6 QSerialPort", m, p, m / mA, p / pA);
    std::printf("Context switches per round trip: plain poll loop %.2f, Qt 6 QSerialPort %.2f\n",
                static_cast<double>(plainSwitches) / n, static_cast<double>(peerSwitches) / n);
    port.close();
    ::close(plainPty.slave);
    ::close(peerPty.slave);
    ::kill(device, SIGTERM);
    ::waitpid(device, nullptr, 0);
    return 0;
}
