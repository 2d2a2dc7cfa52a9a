// How precisely the time sync reaches the clock: the period between time
// frames as a pseudo-terminal's master side receives them, against the
// nominal 200 ms; when each change of the seconds digit would be complete on
// a 115200 8N1 wire (the frame's arrival at the master plus its 3.733 ms on
// the wire) against the real second; and what the sync costs the GUI
// thread. Beside it, in the same run, a plain loop that sleeps with
// clock_nanosleep to each 200 ms point less the same wire time and writes a
// frame to a second pseudo-terminal: the best this machine allows at the
// moment.
//
// With an effect (DisplayText's form, e.g. rainbow:10) the frames between
// the points go out too: the landing of each new second is measured the
// same way (the grid's frame is the first to carry it), the periods are not.
//
//   bench_time_sync [seconds [effect]]     (default 30, static)
#include <poll.h>
#include <time.h>
#include <termios.h>
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
#include <cerrno>
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
#include "support/BenchTerminal.h"
#include "clock/SyncGrid.h"
#include "display/DisplayText.h"
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

// Arrival times of the frames read at a master: on the steady clock for the
// period, on the wall clock where the seconds digit changed. Runs on a thread
// of its own so that the GUI thread's timing does not colour the readings.
class FrameClock {
public:
    explicit FrameClock(int master) : master_(master), thread_([this] { run(); }) {}
    ~FrameClock() { finish(); }
    FrameClock(const FrameClock&) = delete;
    FrameClock& operator=(const FrameClock&) = delete;

    struct Readings {
        std::vector<Clock::time_point> arrivals;
        // Microseconds from the nearest whole second of the wall clock to
        // the moment the last byte of a frame whose seconds digit differs
        // from the last would have left a 115200 8N1 wire.
        std::vector<double> secondDelays;
    };

    // Stops the reader; the readings so far.
    Readings finish()
    {
        stop_ = true;
        if (thread_.joinable()) {
            thread_.join();
        }
        return readings_;
    }

private:
    static constexpr std::size_t kFrameLength = 43;
    static constexpr std::chrono::nanoseconds kWireTime{3'732'639};  // 43 x 10 bits at 115200 baud
    static constexpr std::size_t kSecondsUnits = 1 + 7 * 5;

    void run()
    {
        std::array<char, 4096> chunk{};
        std::string pending;
        char lastUnits = 0;
        int frameCount = 0;
        while (!stop_) {
            pollfd pfd{master_, POLLIN, 0};
            if (::poll(&pfd, 1, 100) <= 0) {
                continue;
            }
            const ssize_t n = ::read(master_, chunk.data(), chunk.size());
            const auto now = Clock::now();
            const auto wall = std::chrono::system_clock::now().time_since_epoch();
            if (n <= 0) {
                continue;
            }
            pending.append(chunk.data(), static_cast<std::size_t>(n));
            std::size_t start = 0;
            while ((start = pending.find('/', start)) != std::string::npos && pending.size() - start >= kFrameLength) {
                readings_.arrivals.push_back(now);
                // The first frame carries the fields as they were and the
                // first tick may come any time: changes count from the
                // second tick on.
                const char units = ++frameCount > 2 ? pending[start + kSecondsUnits] : 0;
                if (lastUnits != 0 && units != lastUnits) {
                    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(wall + kWireTime).count();
                    const auto second = (us + 500'000) / 1'000'000 * 1'000'000;
                    readings_.secondDelays.push_back(static_cast<double>(us - second));
                }
                lastUnits = units;
                start += kFrameLength;
            }
            pending.erase(0, std::min(start, pending.size()));
        }
    }

    int master_;
    std::atomic<bool> stop_{false};
    Readings readings_;
    std::thread thread_;
};

// The plain loop: a frame at each 200 ms point of the wall clock, the local
// time's digits in it, written the moment clock_nanosleep returns.
class PlainGridLoop {
public:
    explicit PlainGridLoop(int slave) : slave_(slave), thread_([this] { run(); }) {}
    ~PlainGridLoop()
    {
        stop_ = true;
        thread_.join();
    }
    PlainGridLoop(const PlainGridLoop&) = delete;
    PlainGridLoop& operator=(const PlainGridLoop&) = delete;

private:
    void run()
    {
        timespec now{};
        ::clock_gettime(CLOCK_REALTIME, &now);
        long long next = (static_cast<long long>(now.tv_sec) * 1'000'000'000LL + now.tv_nsec) / 200'000'000LL + 1;
        // Early by the frame's time on the wire, as the sync sends.
        constexpr long long wireNs = 3'732'639;
        while (!stop_) {
            const long long point = next++ * 200'000'000LL;
            const long long at = point - wireNs;
            const timespec wake{static_cast<time_t>(at / 1'000'000'000LL), static_cast<long>(at % 1'000'000'000LL)};
            while (::clock_nanosleep(CLOCK_REALTIME, TIMER_ABSTIME, &wake, nullptr) == EINTR) {
            }
            const time_t seconds = static_cast<time_t>(point / 1'000'000'000LL);
            tm local{};
            ::localtime_r(&seconds, &local);
            char digits[7];
            std::snprintf(digits, sizeof digits, "%02d%02d%02d", local.tm_hour, local.tm_min, local.tm_sec);
            std::string frame = "/";
            for (const char digit : std::string(digits)) {
                frame += digit;
                frame += "FFFFFF";
            }
            if (::write(slave_, frame.data(), frame.size()) < 0) {
                return;
            }
        }
    }

    int slave_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

void makeRaw(int fd)
{
    termios attributes{};
    if (::tcgetattr(fd, &attributes) == 0) {
        ::cfmakeraw(&attributes);
        ::tcsetattr(fd, TCSANOW, &attributes);
    }
}

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

    const auto terminal = BenchTerminal::open();
    if (!terminal) {
        return 1;
    }
    const vel::UniqueFd& master = terminal->master;
    const char* const slavePath = terminal->path.data();

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

    const auto port = VELSerialPort::initWithPath(slavePath);
    if (!port) {
        std::fprintf(stderr, "no port for %s\n", slavePath);
        return 1;
    }
    const QString effect = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("static");
    DisplaySettings display;
    if (!DisplayText::apply(QStringLiteral("effect"), effect, display)) {
        std::fprintf(stderr, "effect: %s\n", qPrintable(DisplayText::expected(QStringLiteral("effect"))));
        return 2;
    }
    controller.setDisplaySettings(display);
    controller.setSerialPort(port);
    port->open();
    const QDeadlineTimer openDeadline(10000);
    while (!port->isOpen() && !openDeadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    if (!port->isOpen()) {
        std::fprintf(stderr, "could not open %s\n", slavePath);
        return 1;
    }

    const auto plainTerminal = BenchTerminal::open();
    if (!plainTerminal) {
        return 1;
    }
    const vel::UniqueFd& plainMaster = plainTerminal->master;
    const vel::UniqueFd& plainSlave = plainTerminal->slave;
    makeRaw(plainSlave.get());

    FrameClock frames(master.get());
    FrameClock plainFrames(plainMaster.get());
    const double cpuBefore = threadCpuSeconds();
    controller.senddate();
    FrameClock::Readings plain;
    {
        const PlainGridLoop loop(plainSlave.get());
        QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
        QApplication::exec();
        controller.stop();
    }
    const double cpu = threadCpuSeconds() - cpuBefore;
    QThread::msleep(100);  // the last frame's way through the terminal
    const FrameClock::Readings readings = frames.finish();
    plain = plainFrames.finish();

    port->close();
    const QDeadlineTimer closeDeadline(10000);
    while (port->isOpen() && !closeDeadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }

    const std::vector<Clock::time_point>& arrivals = readings.arrivals;
    if (arrivals.size() < 3 || readings.secondDelays.size() < 2 || plain.secondDelays.size() < 2) {
        std::fprintf(stderr, "only %zu frames arrived\n", arrivals.size());
        return 1;
    }
    // The frame senddate sends at once is followed by the first tick on the
    // grid, up to 200 ms later: the periods count from the second frame.
    std::vector<double> periods;
    std::vector<double> deviations;
    for (std::size_t i = 2; i < arrivals.size(); ++i) {
        const double ms = std::chrono::duration<double, std::milli>(arrivals[i] - arrivals[i - 1]).count();
        periods.push_back(ms);
        deviations.push_back(std::abs(ms - std::chrono::duration<double, std::milli>(SyncGrid::period).count()));
    }
    const auto ticks = static_cast<double>(arrivals.size());
    const auto delays = [](const char* name, const std::vector<double>& us) {
        const auto [low, high] = std::minmax_element(us.begin(), us.end());
        std::printf("  %-34s %8.3f %8.3f %8.3f %8.3f   (%zu changes)\n", name, percentile(us, 0.5) / 1000,
                    percentile(us, 0.99) / 1000, *high / 1000, *low / 1000, us.size());
    };

    std::printf("time sync over %d s on %s, effect %s\n", seconds, slavePath, qPrintable(effect));
    std::printf("  %-34s %10zu (%d between the points)\n", "frames received", arrivals.size(),
                controller.inBetweenFramesSent());
    if (!display.moves()) {
        std::printf("  %-34s %10.3f ms\n", "median period", percentile(periods, 0.5));
        std::printf("  %-34s %10.3f ms\n", "p99 deviation from 200 ms", percentile(deviations, 0.99));
        std::printf("  %-34s %10.3f ms\n", "max deviation from 200 ms",
                    *std::max_element(deviations.begin(), deviations.end()));
    }
    std::printf("  %-34s %10.1f us\n", "GUI thread CPU per tick", cpu / ticks * 1e6);
    std::vector<double> turns;
    for (const auto turn : controller.timer()->recentTurns()) {
        turns.push_back(std::chrono::duration<double, std::micro>(turn).count());
    }
    std::printf("  %-34s %10.1f us median, %.1f us p99, %.1f us longest\n", "GUI thread per sync turn",
                percentile(turns, 0.5), percentile(turns, 0.99),
                std::chrono::duration<double, std::micro>(controller.timer()->longestTurn()).count());
    std::printf("  %-34s %d sent, %d busy, %d late\n", "frames", controller.timer()->counts().sent,
                controller.timer()->counts().busy, controller.timer()->counts().late);
    const auto magnitudes = [](std::vector<double> us) {
        for (double& u : us) {
            u = std::abs(u);
        }
        return us;
    };
    std::printf("seconds digit landed on the wire vs the real second, ms  median      p99      max      min\n");
    delays("Halodial", readings.secondDelays);
    delays("plain clock_nanosleep loop", plain.secondDelays);
    std::printf("|landing error|, ms                          median      p99      max      min\n");
    delays("Halodial", magnitudes(readings.secondDelays));
    delays("plain clock_nanosleep loop", magnitudes(plain.secondDelays));
    std::printf("  %-34s %8.2fx median, %.2fx p99\n", "|error| ratio Halodial / plain",
                percentile(magnitudes(readings.secondDelays), 0.5) /
                    std::max(1.0, percentile(magnitudes(plain.secondDelays), 0.5)),
                percentile(magnitudes(readings.secondDelays), 0.99) /
                    std::max(1.0, percentile(magnitudes(plain.secondDelays), 0.99)));
    return 0;
}
