// What the display costs: the composer's time per frame for the plain clock
// and for the heaviest setting (the hue wave, which converts every colour to
// HSV and back, with a night fade and per-tube brightness on top); then, in
// one run, the process's CPU while the sync drives a pseudo-terminal with
// the static theme and with that effect at 25 frames a second, in
// alternating phases so that the machine's drift falls on both alike.
//
//   bench_display [seconds per phase]     (default 10; four phases)
#include <poll.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QTimer>
#include <array>
#include <atomic>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

#include "ColorWell.h"
#include "SerialPortDemoController.h"
#include "support/BenchTerminal.h"
#include "VELSerialPort.h"
#include "desktop/QtMainQueue.h"
#include "display/DisplayComposer.h"
#include "display/DisplayText.h"
#include "support/UniqueFd.h"

namespace {

double processCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

DisplaySettings heaviest()
{
    DisplaySettings settings;
    DisplayText::apply(QStringLiteral("effect"), QStringLiteral("hue-wave:10"), settings);
    DisplayText::apply(QStringLiteral("night"), QStringLiteral("00:00-23:59"), settings);
    DisplayText::apply(QStringLiteral("night-fade"), QStringLiteral("3600"), settings);
    DisplayText::apply(QStringLiteral("brightness"), QStringLiteral("90,80,100,70,100,60"), settings);
    return settings;
}

// Nanoseconds per composed frame, over a day's worth of 40 ms instants.
double composeCost(const DisplaySettings& settings)
{
    std::array<QColor, 6> own;
    own.fill(QColor(0xFF7A1A));
    // The instants are made beforehand: turning an instant into local time
    // is the time zone's cost, not the composer's.
    constexpr int frames = 100'000;
    std::vector<QDateTime> instants;
    instants.reserve(frames);
    const QDateTime start = QDateTime::currentDateTime();
    const qint64 first = start.toMSecsSinceEpoch();
    for (int i = 0; i < frames; ++i) {
        instants.push_back(start.addMSecs(i * 40LL));
    }
    volatile int sink = 0;
    const auto began = std::chrono::steady_clock::now();
    for (int i = 0; i < frames; ++i) {
        const auto shown = DisplayComposer::compose(first + i * 40LL, instants[i], settings, {}, own);
        sink = sink + shown.colours[i % 6].red();
    }
    const auto elapsed = std::chrono::steady_clock::now() - began;
    return std::chrono::duration<double, std::nano>(elapsed).count() / frames;
}

// Reads and drops what the clock would get, counting bytes and its own CPU
// (the clock's side, not Halodial's: taken off the process's).
class Drain {
public:
    explicit Drain(int master) : master_(master), thread_([this] { run(); }) {}
    ~Drain()
    {
        stop_ = true;
        thread_.join();
    }
    long long bytes() const { return bytes_; }
    double cpuSeconds() const { return cpuNanoseconds_ / 1e9; }

private:
    void run()
    {
        std::array<char, 4096> chunk{};
        while (!stop_) {
            pollfd pfd{master_, POLLIN, 0};
            if (::poll(&pfd, 1, 100) > 0) {
                const ssize_t n = ::read(master_, chunk.data(), chunk.size());
                if (n > 0) {
                    bytes_ += n;
                }
            }
            timespec cpu{};
            ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu);
            cpuNanoseconds_ = static_cast<long long>(cpu.tv_sec) * 1'000'000'000LL + cpu.tv_nsec;
        }
    }
    int master_;
    std::atomic<bool> stop_{false};
    std::atomic<long long> bytes_{0};
    std::atomic<long long> cpuNanoseconds_{0};
    std::thread thread_;
};

}  // namespace

int main(int argc, char* argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    vel::MainQueue::setShared(std::make_shared<QtMainQueue>());

    const double plainCost = composeCost({});
    const double heavyCost = composeCost(heaviest());
    std::printf("composer per frame: %.0f ns static, %.0f ns hue wave + night fade + brightness\n", plainCost,
                heavyCost);

    const auto terminal = BenchTerminal::open();
    if (!terminal) {
        return 1;
    }
    const vel::UniqueFd& master = terminal->master;
    const char* const slavePath = terminal->path.data();
    QWidget window;
    SerialPortDemoController controller;
    for (int i = 0; i < 6; ++i) {
        const QByteArray n = QByteArray::number(i + 1);
        controller.setProperty("tube" + n, QVariant::fromValue(new QLineEdit(&window)));
        controller.setProperty("col" + n, QVariant::fromValue(new ColorWell(&window)));
    }
    const auto port = VELSerialPort::initWithPath(slavePath);
    if (!port) {
        std::fprintf(stderr, "no port for %s\n", slavePath);
        return 1;
    }
    controller.setSerialPort(port);
    port->open();
    const QDeadlineTimer openDeadline(10000);
    while (!port->isOpen() && !openDeadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    const Drain drain(master.get());
    controller.senddate();

    struct Phase {
        const char* name;
        DisplaySettings settings;
        double cpu = 0;
        double wall = 0;
        long long bytes = 0;
    };
    std::array<Phase, 2> phases{Phase{"static", {}}, Phase{"hue wave + night fade", heaviest()}};
    for (int round = 0; round < 4; ++round) {
        Phase& phase = phases[round % 2];
        controller.setDisplaySettings(phase.settings);
        const double cpuBefore = processCpuSeconds() - drain.cpuSeconds();
        const long long bytesBefore = drain.bytes();
        const auto began = std::chrono::steady_clock::now();
        QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
        QApplication::exec();
        phase.wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
        phase.cpu += processCpuSeconds() - drain.cpuSeconds() - cpuBefore;
        phase.bytes += drain.bytes() - bytesBefore;
    }
    controller.stop();
    std::printf("sync on %s, %d s per phase, two phases each (process CPU less the reader's):\n", slavePath,
                seconds);
    for (const Phase& phase : phases) {
        std::printf("  %-24s %6.3f %% of one core, %5.1f frames/s, %4.1f %% of a 115200 line\n", phase.name,
                    100.0 * phase.cpu / phase.wall, phase.bytes / 43.0 / phase.wall,
                    100.0 * phase.bytes / phase.wall / 11520.0);
    }
    const double more = 100.0 * (phases[1].cpu / phases[1].wall - phases[0].cpu / phases[0].wall);
    std::printf("  effect / static CPU ratio %.2f, %+.3f %% of one core\n",
                (phases[1].cpu / phases[1].wall) / (phases[0].cpu / phases[0].wall), more);
    std::printf("  frames: %d sent, %d busy, %d late; %d between the points\n", controller.timer()->counts().sent,
                controller.timer()->counts().busy, controller.timer()->counts().late,
                controller.inBetweenFramesSent());
    port->close();
    return 0;
}
