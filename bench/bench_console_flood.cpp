// What a device that floods the console costs the window while the time
// sync runs: 20 MB of random bytes, of ordinary text lines, or of one single
// line, written to a pseudo-terminal's master as fast as it takes them.
// Each run first syncs for a few seconds with a quiet device (the baseline),
// then floods, and reports side by side: the frame period's p99 deviation
// from 200 ms, how far from its grid point each frame would land on a 115200
// 8N1 wire (arrival at the master plus its 3.733 ms on the wire), the GUI
// thread's worst delay for an input event (what typing would see), the peak
// RSS growth, and the time until the flood is shown.
//
//   bench_console_flood random|text|line [megabytes]     (default 20)
#include <poll.h>
#include <unistd.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QTextBlock>
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
#include <cstring>
#include <mutex>
#include <utility>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "MainWindow.h"
#include "SerialPortDemoController.h"
#include "support/BenchTerminal.h"
#include "clock/SyncGrid.h"
#include "VELSerialPort.h"
#include "VELSerialPortManager.h"
#include "desktop/QtMainQueue.h"
#include "support/UniqueFd.h"
#include "ui_MainWindow.h"

namespace {

using Clock = std::chrono::steady_clock;

const QByteArray endMarker = "\nEND-OF-FLOOD\n";

// Peak resident set so far, in kB.
long peakRssKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return 0;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:")) {
            return line.mid(6).trimmed().split(' ').value(0).toLong();
        }
    }
    return 0;
}

// Starts the peak over from the current resident set, so that making the
// flood's own bytes (and freeing their temporary copies) does not hide the
// window's growth under an earlier peak.
void resetPeakRss()
{
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    if (clearRefs.open(QIODevice::WriteOnly)) {
        clearRefs.write("5");
    }
}

QByteArray floodOf(const std::string& kind, qsizetype size)
{
    std::mt19937 random(42);
    QByteArray bytes;
    bytes.reserve(size + 100);
    if (kind == "random") {
        while (bytes.size() < size) {
            bytes += static_cast<char>(random() & 0xFF);
        }
    } else if (kind == "text") {
        static const char* words[] = {"clock", "tube", "time", "colour", "frame", "saved", "digit", "sync"};
        int n = 0;
        while (bytes.size() < size) {
            bytes += QByteArray::number(n++) + ':';
            for (int w = 0; w < 8; ++w) {
                bytes += ' ';
                bytes += words[random() % 8];
            }
            bytes += "\r\n";
        }
    } else {
        bytes.fill('L', size);
    }
    return bytes + endMarker;
}

// Frame arrivals at the master, and the writer of the flood, on threads of
// their own so that the GUI thread's timing does not colour the readings.
class Device {
public:
    explicit Device(int master) : master_(master), reader_([this] { read(); }) {}
    ~Device() { stop(); }
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    void flood(QByteArray bytes)
    {
        writer_ = std::thread([this, bytes = std::move(bytes)] {
            qsizetype done = 0;
            while (done < bytes.size() && !stop_) {
                pollfd ready{master_, POLLOUT, 0};
                if (::poll(&ready, 1, 100) > 0) {
                    const ssize_t n = ::write(master_, bytes.constData() + done,
                                              static_cast<std::size_t>(bytes.size() - done));
                    done += n > 0 ? n : 0;
                }
            }
        });
    }

    std::vector<Clock::time_point> arrivals()
    {
        std::lock_guard lock(mutex_);
        return arrivals_;
    }
    // The same arrivals on the wall clock, nanoseconds since the epoch.
    std::vector<long long> wallArrivals()
    {
        std::lock_guard lock(mutex_);
        return wallArrivals_;
    }

    void stop()
    {
        stop_ = true;
        for (std::thread* thread : {&reader_, &writer_}) {
            if (thread->joinable()) {
                thread->join();
            }
        }
    }

private:
    void read()
    {
        std::array<char, 4096> chunk{};
        while (!stop_) {
            pollfd pfd{master_, POLLIN, 0};
            if (::poll(&pfd, 1, 100) <= 0) {
                continue;
            }
            const ssize_t n = ::read(master_, chunk.data(), chunk.size());
            const auto now = Clock::now();
            const auto wall = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                  std::chrono::system_clock::now().time_since_epoch())
                                  .count();
            std::lock_guard lock(mutex_);
            for (ssize_t i = 0; i < n; ++i) {
                if (chunk[static_cast<std::size_t>(i)] == '/') {
                    arrivals_.push_back(now);
                    wallArrivals_.push_back(wall);
                }
            }
        }
    }

    int master_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<Clock::time_point> arrivals_;
    std::vector<long long> wallArrivals_;
    std::thread reader_;
    std::thread writer_;
};

// The median and p99 of |landing - grid point| in ms for the frames that
// arrived in [from, to) (wall clock, ns), the first one skipped: the frame
// Sync sends at once lies anywhere between two points.
std::pair<double, double> landingErrorMs(const std::vector<long long>& wall, long long from, long long to)
{
    constexpr long long wireNs = 3'732'639;
    constexpr long long periodNs = 200'000'000;
    std::vector<double> errors;
    bool first = true;
    for (const long long arrival : wall) {
        if (arrival < from || arrival >= to) {
            continue;
        }
        if (std::exchange(first, false)) {
            continue;
        }
        const long long landed = arrival + wireNs;
        const long long offset = ((landed % periodNs) + periodNs) % periodNs;
        errors.push_back(static_cast<double>(std::min(offset, periodNs - offset)) / 1e6);
    }
    if (errors.empty()) {
        return {0, 0};
    }
    std::sort(errors.begin(), errors.end());
    return {errors[errors.size() / 2], errors[std::min(errors.size() - 1, static_cast<std::size_t>(0.99 * errors.size()))]};
}

long long wallNowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

double p99DeviationMs(const std::vector<Clock::time_point>& arrivals, Clock::time_point from, Clock::time_point to)
{
    // The first period in the window is skipped: the frame Sync sends at
    // once lies anywhere between two grid points.
    std::vector<double> deviations;
    bool first = true;
    for (std::size_t i = 1; i < arrivals.size(); ++i) {
        if (arrivals[i - 1] >= from && arrivals[i] <= to) {
            if (std::exchange(first, false)) {
                continue;
            }
            const double ms = std::chrono::duration<double, std::milli>(arrivals[i] - arrivals[i - 1]).count();
            deviations.push_back(std::abs(ms - std::chrono::duration<double, std::milli>(SyncGrid::period).count()));
        }
    }
    if (deviations.empty()) {
        return -1;
    }
    std::sort(deviations.begin(), deviations.end());
    return deviations[std::min(deviations.size() - 1, static_cast<std::size_t>(0.99 * deviations.size()))];
}

// The worst delay of an event posted to the GUI thread every 20 ms, over
// the time it runs: what a key press would wait before the window sees it.
class InputProbe {
public:
    explicit InputProbe(QObject* context) : context_(context), thread_([this] { run(); }) {}
    ~InputProbe() { stop(); }
    InputProbe(const InputProbe&) = delete;
    InputProbe& operator=(const InputProbe&) = delete;

    double worstMsAndReset() { return static_cast<double>(worstUs_.exchange(0)) / 1000.0; }
    void stop()
    {
        stop_ = true;
        if (thread_.joinable()) {
            thread_.join();
        }
    }

private:
    void run()
    {
        while (!stop_) {
            const auto posted = Clock::now();
            QMetaObject::invokeMethod(context_, [this, posted] {
                const auto us = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - posted).count();
                long long worst = worstUs_.load();
                while (us > worst && !worstUs_.compare_exchange_weak(worst, us)) {
                }
            });
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

    QObject* context_;
    std::atomic<bool> stop_{false};
    std::atomic<long long> worstUs_{0};
    std::thread thread_;
};

void runFor(int ms)
{
    QElapsedTimer elapsed;
    elapsed.start();
    while (elapsed.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::usleep(500);
    }
}

}  // namespace

int main(int argc, char* argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    const std::string kind = argc > 1 ? argv[1] : "text";
    if (kind != "random" && kind != "text" && kind != "line") {
        std::fprintf(stderr, "usage: bench_console_flood random|text|line [megabytes]\n");
        return 2;
    }
    const qsizetype megabytes = argc > 2 ? std::max(1, std::atoi(argv[2])) : 20;
    vel::MainQueue::setShared(std::make_shared<QtMainQueue>());

    const auto terminal = BenchTerminal::open();
    if (!terminal) {
        return 1;
    }
    const vel::UniqueFd& master = terminal->master;
    const char* const slavePath = terminal->path.data();

    SerialPortDemoController controller(&VELSerialPortManager::sharedSerialPortManager());
    MainWindow window;
    window.connectController(controller, VELSerialPortManager::sharedSerialPortManager());
    window.resize(760, 700);
    window.show();
    controller.setSerialPort(VELSerialPort::initWithPath(slavePath));
    controller.openOrClosePort();
    const QDeadlineTimer openDeadline(10000);
    while (controller.portState() != SerialPortDemoController::PortState::Open && !openDeadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    if (controller.portState() != SerialPortDemoController::PortState::Open) {
        std::fprintf(stderr, "could not open %s\n", slavePath);
        return 1;
    }
    const QByteArray flood = floodOf(kind, megabytes * 1024 * 1024);

    Device device(master.get());
    InputProbe input(&window);
    const long long baselineWallStart = wallNowNs();
    controller.senddate();
    const auto baselineStart = Clock::now();
    runFor(5000);
    const auto baselineEnd = Clock::now();
    const long long baselineWallEnd = wallNowNs();
    const double baselineInput = input.worstMsAndReset();
    resetPeakRss();
    const long rssBefore = peakRssKb();

    QPlainTextEdit* view = window.ui().receivedDataTextView;
    const auto shownEnd = [view] {
        const QTextBlock last = view->document()->lastBlock().previous();
        return last.text() == QLatin1String("END-OF-FLOOD");
    };
    QElapsedTimer drain;
    drain.start();
    const auto floodStart = Clock::now();
    const long long floodWallStart = wallNowNs();
    device.flood(flood);
    const QDeadlineTimer floodDeadline(600000);
    while (!shownEnd() && !floodDeadline.hasExpired()) {
        runFor(20);
    }
    const auto floodEnd = Clock::now();
    const long long floodWallEnd = wallNowNs();
    const qint64 drainMs = drain.elapsed();
    const double floodInput = input.worstMsAndReset();
    const long rssAfter = peakRssKb();
    controller.stop();
    input.stop();
    device.stop();
    const auto arrivals = device.arrivals();

    std::printf("console flood: %lld MB of %s, time sync running\n", static_cast<long long>(megabytes), kind.c_str());
    std::printf("  %-36s %12s %12s\n", "", "quiet", "flood");
    std::printf("  %-36s %9.1f ms %9.1f ms\n", "frame period p99 deviation", p99DeviationMs(arrivals, baselineStart, baselineEnd),
                p99DeviationMs(arrivals, floodStart, floodEnd));
    const auto quietLanding = landingErrorMs(device.wallArrivals(), baselineWallStart, baselineWallEnd);
    const auto floodLanding = landingErrorMs(device.wallArrivals(), floodWallStart, floodWallEnd);
    std::printf("  %-36s %9.3f ms %9.3f ms\n", "|landing error| median", quietLanding.first, floodLanding.first);
    std::printf("  %-36s %9.3f ms %9.3f ms\n", "|landing error| p99", quietLanding.second, floodLanding.second);
    std::printf("  %-36s %12s %9.1f us\n", "longest sync turn (GUI thread)", "",
                std::chrono::duration<double, std::micro>(controller.timer()->longestTurn()).count());
    std::printf("  %-36s %9.1f ms %9.1f ms\n", "worst input event delay", baselineInput, floodInput);
    std::printf("  %-36s %9.1f MB %9.1f MB\n", "peak RSS", rssBefore / 1024.0, rssAfter / 1024.0);
    std::printf("  %-36s %12s %9.1f MB\n", "peak RSS growth", "", (rssAfter - rssBefore) / 1024.0);
    std::printf("  %-36s %12s %9lld ms%s\n", "time until shown", "", static_cast<long long>(drainMs),
                shownEnd() ? "" : " (not shown: deadline)");
    return shownEnd() ? 0 : 1;
}
