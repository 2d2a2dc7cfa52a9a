// How steadily the time sync reaches the clock: the period between time
// frames as a pseudo-terminal's master side receives them, against the
// nominal 200 ms, and what each tick costs the GUI thread.
//
//   bench_time_sync [seconds]     (default 30)
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ColorWell.h"
#include "desktop/QtMainQueue.h"
#include "SerialPortDemoController.h"
#include "support/UniqueFd.h"
#include "VELSerialPort.h"

namespace {

using Clock = std::chrono::steady_clock;

double threadCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Arrival time of every frame lead byte read at the master. Runs on a thread
// of its own so that the GUI thread's timing does not colour the readings.
class FrameClock {
public:
    explicit FrameClock(int master) : master_(master), thread_([this] { run(); }) {}
    ~FrameClock() { finish(); }
    FrameClock(const FrameClock&) = delete;
    FrameClock& operator=(const FrameClock&) = delete;

    // Stops the reader; the arrivals so far.
    std::vector<Clock::time_point> finish()
    {
        stop_ = true;
        if (thread_.joinable()) {
            thread_.join();
        }
        return arrivals_;
    }

private:
    void run()
    {
        std::array<char, 4096> chunk{};
        while (!stop_) {
            pollfd pfd{master_, POLLIN, 0};
            if (::poll(&pfd, 1, 100) <= 0) {
                continue;
            }
            const ssize_t n = ::read(master_, chunk.data(), chunk.size());
            const auto now = Clock::now();
            for (ssize_t i = 0; i < n; ++i) {
                if (chunk[static_cast<std::size_t>(i)] == '/') {
                    arrivals_.push_back(now);
                }
            }
        }
    }

    int master_;
    std::atomic<bool> stop_{false};
    std::vector<Clock::time_point> arrivals_;
    std::thread thread_;
};

double percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(std::ceil(p * static_cast<double>(values.size()))) - 1;
    return values[std::min(index, values.size() - 1)];
}

}  // namespace

int main(int argc, char* argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    vel::MainQueue::setShared(std::make_shared<QtMainQueue>());

    int masterFd = -1;
    int slaveFd = -1;
    std::array<char, PATH_MAX> slavePath{};
    if (::openpty(&masterFd, &slaveFd, slavePath.data(), nullptr, nullptr) != 0) {
        std::perror("openpty");
        return 1;
    }
    const vel::UniqueFd master(masterFd);
    const vel::UniqueFd slave(slaveFd);

    QWidget window;
    SerialPortDemoController controller;
    std::array<void (SerialPortDemoController::*)(QLineEdit*), 6> setTube{
        &SerialPortDemoController::setTube1, &SerialPortDemoController::setTube2, &SerialPortDemoController::setTube3,
        &SerialPortDemoController::setTube4, &SerialPortDemoController::setTube5, &SerialPortDemoController::setTube6};
    std::array<void (SerialPortDemoController::*)(ColorWell*), 6> setCol{
        &SerialPortDemoController::setCol1, &SerialPortDemoController::setCol2, &SerialPortDemoController::setCol3,
        &SerialPortDemoController::setCol4, &SerialPortDemoController::setCol5, &SerialPortDemoController::setCol6};
    for (std::size_t i = 0; i < 6; ++i) {
        (controller.*setTube[i])(new QLineEdit(&window));
        (controller.*setCol[i])(new ColorWell(&window));
    }

    const auto port = VELSerialPort::initWithPath(slavePath.data());
    if (!port) {
        std::fprintf(stderr, "no port for %s\n", slavePath.data());
        return 1;
    }
    controller.setSerialPort(port);
    port->open();
    const QDeadlineTimer openDeadline(10000);
    while (!port->isOpen() && !openDeadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    if (!port->isOpen()) {
        std::fprintf(stderr, "could not open %s\n", slavePath.data());
        return 1;
    }

    FrameClock frames(master.get());
    const double cpuBefore = threadCpuSeconds();
    controller.senddate();
    QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
    QApplication::exec();
    controller.stop();
    const double cpu = threadCpuSeconds() - cpuBefore;
    QThread::msleep(100);  // the last frame's way through the terminal
    const std::vector<Clock::time_point> arrivals = frames.finish();

    port->close();
    const QDeadlineTimer closeDeadline(10000);
    while (port->isOpen() && !closeDeadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }

    // The frame senddate sends at once is followed by the first tick 200 ms
    // later, so it counts like any other.
    if (arrivals.size() < 3) {
        std::fprintf(stderr, "only %zu frames arrived\n", arrivals.size());
        return 1;
    }
    std::vector<double> periods;
    std::vector<double> deviations;
    for (std::size_t i = 1; i < arrivals.size(); ++i) {
        const double ms = std::chrono::duration<double, std::milli>(arrivals[i] - arrivals[i - 1]).count();
        periods.push_back(ms);
        deviations.push_back(std::abs(ms - SerialPortDemoController::tickIntervalMs));
    }
    const auto ticks = static_cast<double>(arrivals.size());

    std::printf("time sync over %d s on %s\n", seconds, slavePath.data());
    std::printf("  %-34s %10zu\n", "frames received", arrivals.size());
    std::printf("  %-34s %10.3f ms\n", "median period", percentile(periods, 0.5));
    std::printf("  %-34s %10.3f ms\n", "p99 deviation from 200 ms", percentile(deviations, 0.99));
    std::printf("  %-34s %10.3f ms\n", "max deviation from 200 ms",
                *std::max_element(deviations.begin(), deviations.end()));
    std::printf("  %-34s %10.1f us\n", "GUI thread CPU per tick", cpu / ticks * 1e6);
    return 0;
}
