// The serial library's main queue on Qt's event loop: tasks and descriptor
// watches from the GUI thread and from other threads.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTest>
#include <QThread>
#include <array>
#include <atomic>
#include <filesystem>
#include <future>
#include <memory>
#include <thread>
#include <vector>

#include "VELSerialPort.h"
#include "VELSerialPortDelegate.h"
#include "desktop/QtMainQueue.h"
#include "support/UniqueFd.h"

namespace {

constexpr int kDeadlineMs = 10000;

struct Pipe {
    vel::UniqueFd readEnd;
    vel::UniqueFd writeEnd;

    Pipe()
    {
        std::array<int, 2> fds{};
        if (::pipe(fds.data()) == 0) {
            readEnd.reset(fds[0]);
            writeEnd.reset(fds[1]);
        }
    }

    void write(char byte) const { QCOMPARE(::write(writeEnd.get(), &byte, 1), ssize_t{1}); }
    char read() const
    {
        char byte = 0;
        return ::read(readEnd.get(), &byte, 1) == 1 ? byte : '\0';
    }
};

std::size_t threadCount()
{
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
        ++count;
    }
    return count;
}

class ReceivingDelegate : public VELSerialPortDelegate {
public:
    Callbacks implementedCallbacks() const override
    {
        return {Callback::DidReceiveData, Callback::WasOpened, Callback::WasClosed};
    }
    void serialPortWasRemovedFromSystem(const std::shared_ptr<VELSerialPort>&) override {}
    void serialPortWasOpened(const std::shared_ptr<VELSerialPort>&) override { opened = true; }
    void serialPortWasClosed(const std::shared_ptr<VELSerialPort>&) override { closed = true; }
    void serialPortDidReceiveData(const std::shared_ptr<VELSerialPort>&, std::span<const std::uint8_t> data) override
    {
        onGuiThread = onGuiThread && QThread::currentThread() == QCoreApplication::instance()->thread();
        received.insert(received.end(), data.begin(), data.end());
    }

    // GUI thread only.
    bool opened = false;
    bool closed = false;
    bool onGuiThread = true;
    std::vector<std::uint8_t> received;
};

}  // namespace

class QtMainQueueTests : public QObject {
    Q_OBJECT

private slots:
    void postedTasksRunInOrderOnTheGuiThread()
    {
        QtMainQueue queue;
        std::vector<int> order;
        std::atomic<bool> allOnGuiThread{true};
        QThread* const gui = QThread::currentThread();
        std::thread worker([&] {
            for (int i = 0; i < 50; ++i) {
                queue.post([&, i] {
                    allOnGuiThread = allOnGuiThread && QThread::currentThread() == gui;
                    order.push_back(i);
                });
            }
        });
        worker.join();
        QVERIFY(order.empty());  // posting never runs a task in place
        QTRY_COMPARE_WITH_TIMEOUT(order.size(), std::size_t{50}, kDeadlineMs);
        for (int i = 0; i < 50; ++i) {
            QCOMPARE(order[static_cast<std::size_t>(i)], i);
        }
        QVERIFY(allOnGuiThread);
    }

    void postAndWaitRunsInPlaceOrBlocksUntilRun()
    {
        QtMainQueue queue;
        bool ranInPlace = false;
        queue.postAndWait([&] { ranInPlace = true; });
        QVERIFY(ranInPlace);
        QVERIFY(queue.isMainThread());

        std::atomic<bool> workerSawResult{false};
        std::atomic<bool> workerIsMain{true};
        std::atomic<bool> done{false};
        QThread* taskThread = nullptr;
        int value = 0;
        std::thread worker([&] {
            workerIsMain = queue.isMainThread();
            queue.postAndWait([&] {
                taskThread = QThread::currentThread();
                value = 42;
            });
            workerSawResult = value == 42;
            done = true;
        });
        QTRY_VERIFY_WITH_TIMEOUT(done, kDeadlineMs);
        worker.join();
        QVERIFY(workerSawResult);
        QVERIFY(!workerIsMain);
        QCOMPARE(taskThread, QThread::currentThread());
    }

    void watchCallsBackWhileAliveOnly()
    {
        QtMainQueue queue;
        Pipe pipe;
        int calls = 0;
        char seen = '\0';
        auto watch = queue.watchReadable(pipe.readEnd.get(), [&] {
            ++calls;
            seen = pipe.read();
        });
        QVERIFY(watch);
        pipe.write('a');
        QTRY_COMPARE_WITH_TIMEOUT(seen, 'a', kDeadlineMs);

        watch.reset();
        const int callsBefore = calls;
        pipe.write('b');
        // The pipe stays readable, so a live watch would fire on every pass.
        for (int i = 0; i < 10; ++i) {
            QCoreApplication::processEvents();
        }
        QCOMPARE(calls, callsBefore);
    }

    void watchesMadeAndDroppedOffTheGuiThread()
    {
        QtMainQueue queue;
        Pipe pipe;
        std::atomic<int> calls{0};
        std::atomic<bool> onGuiThread{true};
        QThread* const gui = QThread::currentThread();
        std::unique_ptr<vel::DescriptorWatch> watch;
        std::atomic<bool> made{false};
        std::thread maker([&] {
            watch = queue.watchReadable(pipe.readEnd.get(), [&] {
                onGuiThread = onGuiThread && QThread::currentThread() == gui;
                pipe.read();
                ++calls;
            });
            made = true;
        });
        QTRY_VERIFY_WITH_TIMEOUT(made, kDeadlineMs);
        maker.join();
        pipe.write('a');
        QTRY_COMPARE_WITH_TIMEOUT(calls.load(), 1, kDeadlineMs);
        QVERIFY(onGuiThread);

        std::thread dropper([&] { watch.reset(); });
        dropper.join();
        pipe.write('b');
        // A second watch, which leaves 'b' in the pipe: once the event loop
        // has told it, it would have told the dropped one as well.
        std::atomic<bool> seen{false};
        auto witness = queue.watchReadable(pipe.readEnd.get(), [&] { seen = true; });
        QTRY_VERIFY_WITH_TIMEOUT(seen, kDeadlineMs);
        witness.reset();
        QCOMPARE(calls.load(), 1);
    }

    // A port on Qt's loop: it reads where its delegate runs, in order; while
    // the loop does not run, nothing is read and the kernel holds the device
    // back; and it adds no thread.
    void aPortReadsOnTheGuiThreadInOrderHoldsBackAFloodAndAddsNoThread()
    {
        auto queue = std::make_shared<QtMainQueue>();
        vel::MainQueue::setShared(queue);
        int master = -1;
        int slave = -1;
        std::array<char, 128> name{};
        QCOMPARE(::openpty(&master, &slave, name.data(), nullptr, nullptr), 0);
        const vel::UniqueFd masterFd(master);
        const vel::UniqueFd slaveFd(slave);
        termios raw{};
        ::tcgetattr(master, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(master, TCSANOW, &raw);
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);

        auto port = VELSerialPort::initWithPath(name.data());
        QVERIFY(port);
        auto delegate = std::make_shared<ReceivingDelegate>();
        port->setDelegate(delegate);
        const std::size_t threadsBefore = threadCount();
        port->open();
        QTRY_VERIFY_WITH_TIMEOUT(delegate->opened, kDeadlineMs);
        QCOMPARE(threadCount(), threadsBefore);

        std::vector<std::uint8_t> sent(6 << 20);
        for (std::size_t i = 0; i < sent.size(); ++i) {
            sent[i] = static_cast<std::uint8_t>((i * 7 + i / 251) % 256);
        }
        std::atomic<std::size_t> written{0};
        std::promise<void> stalled;
        std::thread device([&] {
            bool told = false;
            while (written < sent.size()) {
                const std::size_t size = std::min<std::size_t>(4096, sent.size() - written);
                const ssize_t n = ::write(master, sent.data() + written, size);
                if (n > 0) {
                    written += static_cast<std::size_t>(n);
                    continue;
                }
                if (n < 0 && errno != EAGAIN) {
                    return;
                }
                if (!told) {
                    told = true;
                    stalled.set_value();
                }
                pollfd writable{master, POLLOUT, 0};
                ::poll(&writable, 1, 1000);
            }
        });
        // The loop does not run here: the device stalls with most unsent.
        QCOMPARE(stalled.get_future().wait_for(std::chrono::seconds(20)), std::future_status::ready);
        QVERIFY(port->undeliveredInputByteCount() <= VELSerialPort::kMaximumUndeliveredInputBytes);
        QVERIFY(written.load() < sent.size());

        QTRY_VERIFY_WITH_TIMEOUT(delegate->received.size() >= sent.size(), 60000);
        device.join();
        QVERIFY(delegate->received == sent);
        QVERIFY(delegate->onGuiThread);
        port->close();
        QTRY_VERIFY_WITH_TIMEOUT(delegate->closed, kDeadlineMs);
        vel::MainQueue::setShared(nullptr);
    }
};

QTEST_GUILESS_MAIN(QtMainQueueTests)
#include "QtMainQueueTests.moc"
