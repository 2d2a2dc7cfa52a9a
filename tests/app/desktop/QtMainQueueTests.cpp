// The serial library's main queue on Qt's event loop: tasks and descriptor
// watches from the GUI thread and from other threads.
#include <unistd.h>

#include <QCoreApplication>
#include <QTest>
#include <QThread>
#include <array>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

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
};

QTEST_GUILESS_MAIN(QtMainQueueTests)
#include "QtMainQueueTests.moc"
