#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <future>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <unistd.h>
#include <vector>

#include "dispatch/AsioMainQueue.h"
#include "dispatch/GlobalQueue.h"
#include "dispatch/SerialQueue.h"
#include "dispatch/TerminationSignals.h"
#include "dispatch/TimerSource.h"

using namespace std::chrono_literals;

namespace {

// Deadlines are generous: they only bound how long a broken build hangs.
bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds deadline = 10s)
{
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

struct Pipe {
    int fds[2] = {-1, -1};
    Pipe() { EXPECT_EQ(::pipe(fds), 0); }
    ~Pipe()
    {
        ::close(fds[0]);
        ::close(fds[1]);
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;
    int readEnd() const { return fds[0]; }
    void write() const { EXPECT_EQ(::write(fds[1], "x", 1), 1); }
    void read() const
    {
        char c = 0;
        EXPECT_EQ(::read(fds[0], &c, 1), 1);
    }
};

bool isOpen(int fd)
{
    return ::fcntl(fd, F_GETFD) != -1;
}

}  // namespace

TEST(DispatchSerialQueue, RunsTasksOneAtATimeInSubmissionOrder)
{
    vel::SerialQueue queue("test.order");
    constexpr int threads = 4;
    constexpr int perThread = 500;
    std::atomic<int> running{0};
    std::atomic<bool> overlapped{false};
    std::atomic<bool> notCurrent{false};
    std::vector<std::vector<int>> seen(threads);  // Touched only by the queue's tasks.

    std::vector<std::thread> posters;
    for (int t = 0; t < threads; ++t) {
        posters.emplace_back([&, t] {
            for (int i = 0; i < perThread; ++i) {
                queue.async([&, t, i] {
                    if (++running != 1) {
                        overlapped = true;
                    }
                    if (!queue.isCurrent()) {
                        notCurrent = true;
                    }
                    seen[t].push_back(i);
                    std::this_thread::yield();
                    --running;
                });
            }
        });
    }
    for (auto& poster : posters) {
        poster.join();
    }
    queue.sync([] {});  // Queued behind every task above.

    EXPECT_FALSE(overlapped);
    EXPECT_FALSE(notCurrent);
    EXPECT_FALSE(queue.isCurrent());
    for (int t = 0; t < threads; ++t) {
        ASSERT_EQ(seen[t].size(), static_cast<std::size_t>(perThread));
        for (int i = 0; i < perThread; ++i) {
            EXPECT_EQ(seen[t][static_cast<std::size_t>(i)], i);
        }
    }
}

TEST(DispatchSerialQueue, SyncFromItsOwnTaskRunsInlineAndExceptionsReachTheCaller)
{
    // Shared, not borrowed: on a deadlock the stuck task outlives the test.
    auto queue = std::make_shared<vel::SerialQueue>("test.sync");
    auto done = std::make_shared<std::promise<bool>>();
    auto result = done->get_future();
    queue->async([queue, done] {
        bool inner = false;
        queue->sync([&] { inner = queue->isCurrent(); });
        done->set_value(inner);
    });
    ASSERT_EQ(result.wait_for(10s), std::future_status::ready) << "sync from inside the queue deadlocked";
    EXPECT_TRUE(result.get());

    EXPECT_THROW(queue->sync([] { throw std::runtime_error("task failed"); }), std::runtime_error);
}

// What a read source's handlers saw, for the checks after it is cancelled.
struct ReadLog {
    std::atomic<int> events{0};
    std::atomic<bool> inHandler{false};
    std::atomic<int> cancels{0};
    std::atomic<bool> cancelledDuringEvent{false};
    std::atomic<int> eventsAfterCancel{0};
};

TEST(DispatchTimerSource, FiresRepeatedlyAndNeverAfterCancelReturns)
{
    // On a serial queue, so the test can cancel between two calls.
    vel::SerialQueue queue("test.timer");
    int calls = 0;  // Touched only on the queue.
    std::atomic<int> seen{0};
    auto token = std::make_shared<int>(0);
    auto timer = vel::TimerSource::create(queue.executor(), 2ms, [&calls, &seen, token] { seen = ++calls; });
    EXPECT_EQ(timer->interval(), 2ms);
    timer->start();
    ASSERT_TRUE(waitFor([&] { return seen >= 5; }));
    int atCancel = 0;
    queue.sync([&] {
        timer->cancel();
        atCancel = calls;
    });
    EXPECT_TRUE(timer->isCancelled());
    std::this_thread::sleep_for(100ms);
    queue.sync([&] { EXPECT_EQ(calls, atCancel); });
    EXPECT_TRUE(waitFor([&] { return token.use_count() == 1; })) << "handler kept after cancel";
}

TEST(DispatchTimerSource, SkipsMissedPeriodsInsteadOfBursting)
{
    // Deadlines stay on the interval's grid and a timer never fires early, so
    // however late the calls run, n calls after a stall span at least about
    // (n - 3) intervals. Firing every missed period would cram dozens of
    // calls into a few milliseconds.
    constexpr auto interval = 2ms;
    // On the concurrent pool, where only the source itself keeps the calls
    // from overlapping.
    struct Starts {
        std::mutex mutex;
        std::vector<std::chrono::steady_clock::time_point> times;
        std::atomic<int> running{0};
        std::atomic<bool> overlapped{false};
    };
    auto starts = std::make_shared<Starts>();
    auto timer = vel::TimerSource::create(vel::GlobalQueue::executor(), interval, [starts] {
        if (++starts->running != 1) {
            starts->overlapped = true;
        }
        const auto now = std::chrono::steady_clock::now();
        std::size_t count = 0;
        {
            std::lock_guard lock(starts->mutex);
            starts->times.push_back(now);
            count = starts->times.size();
        }
        if (count == 1) {
            std::this_thread::sleep_for(300ms);  // Misses some 150 periods.
        }
        --starts->running;
    });
    timer->start();
    constexpr std::size_t afterStall = 50;
    ASSERT_TRUE(waitFor([&] {
        std::lock_guard lock(starts->mutex);
        return starts->times.size() > afterStall;
    }));
    timer->cancel();
    EXPECT_FALSE(starts->overlapped);
    std::lock_guard lock(starts->mutex);
    const auto span = starts->times[afterStall] - starts->times[1];
    EXPECT_LE(static_cast<long>(afterStall - 1), span / interval + 3);
}

TEST(DispatchTimerSource, CancelFromInsideTheHandler)
{
    auto calls = std::make_shared<std::atomic<int>>(0);
    auto holder = std::make_shared<std::shared_ptr<vel::TimerSource>>();
    *holder = vel::TimerSource::create(vel::GlobalQueue::executor(), 1ms, [calls, weak = std::weak_ptr(holder)] {
        if (++*calls == 3) {
            if (auto h = weak.lock()) {
                (*h)->cancel();
            }
        }
    });
    (*holder)->start();
    ASSERT_TRUE(waitFor([&] { return *calls >= 3; }));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(*calls, 3);
}

TEST(DispatchAsioMainQueue, PostAndWaitRunsOnTheMainThread)
{
    vel::AsioMainQueue main;
    bool ranAtOnce = false;  // Waiting for its own loop would deadlock.
    main.postAndWait([&] { ranAtOnce = main.isMainThread(); });
    EXPECT_TRUE(ranAtOnce);

    std::atomic<bool> onMain{false};
    std::atomic<bool> threw{false};
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        EXPECT_FALSE(main.isMainThread());
        main.postAndWait([&] { onMain = main.isMainThread(); });
        try {
            main.postAndWait([] { throw std::runtime_error("task failed"); });
        } catch (const std::runtime_error&) {
            threw = true;
        }
        finished = true;
    });
    const bool held = main.runUntil([&] { return finished.load(); }, 10s);
    worker.join();
    EXPECT_TRUE(held);
    EXPECT_TRUE(onMain);
    EXPECT_TRUE(threw);
}

TEST(DispatchAsioMainQueue, WatchFiresOnTheMainThreadUntilDestroyed)
{
    vel::AsioMainQueue main;
    Pipe pipe;
    int calls = 0;
    bool offMain = false;
    auto watch = main.watchReadable(pipe.readEnd(), [&] {
        offMain = offMain || !main.isMainThread();
        pipe.read();
        ++calls;
    });
    pipe.write();
    ASSERT_TRUE(main.runUntil([&] { return calls == 1; }, 10s));
    pipe.write();
    ASSERT_TRUE(main.runUntil([&] { return calls == 2; }, 10s));
    watch.reset();
    pipe.write();
    EXPECT_FALSE(main.runUntil([&] { return calls > 2; }, 100ms));
    EXPECT_FALSE(offMain);
    EXPECT_TRUE(isOpen(pipe.readEnd())) << "the watch closed a descriptor it does not own";
}

TEST(DispatchAsioMainQueue, WatchDestroyedOnAnotherThreadStaysSilent)
{
    vel::AsioMainQueue main;
    Pipe pipe;
    auto calls = std::make_shared<std::atomic<int>>(0);
    auto watch = main.watchReadable(pipe.readEnd(), [&pipe, calls] {
        pipe.read();
        ++*calls;
    });
    pipe.write();
    ASSERT_TRUE(main.runUntil([&] { return *calls == 1; }, 10s));
    std::atomic<bool> destroyed{false};
    std::thread other([&] {
        watch.reset();
        destroyed = true;
    });
    ASSERT_TRUE(main.runUntil([&] { return destroyed.load(); }, 10s));
    other.join();
    pipe.write();
    EXPECT_FALSE(main.runUntil([&] { return *calls > 1; }, 100ms));
    EXPECT_TRUE(isOpen(pipe.readEnd()));
}

TEST(DispatchMainQueue, SharedThrowsUntilOneIsInstalled)
{
    vel::MainQueue::setShared(nullptr);
    EXPECT_THROW(vel::MainQueue::shared(), std::logic_error);
    auto main = std::make_shared<vel::AsioMainQueue>();
    vel::MainQueue::setShared(main);
    EXPECT_EQ(vel::MainQueue::shared(), main);
    vel::MainQueue::setShared(nullptr);
}

// Only the test's own thread blocks the signals, and raise() sends them to
// that thread alone, so no other thread of the test binary can die of them.
TEST(DispatchTerminationSignals, ReachTheMainQueueAsEventsInsteadOfKillingTheProcess)
{
    sigset_t before;
    ::pthread_sigmask(SIG_SETMASK, nullptr, &before);
    ASSERT_TRUE(vel::TerminationSignals::blockInThisThread());
    vel::AsioMainQueue main;
    std::vector<int> heard;
    {
        vel::TerminationSignals signals(main, [&](int signal) {
            EXPECT_TRUE(main.isMainThread());
            heard.push_back(signal);
        });
        ASSERT_EQ(::raise(SIGHUP), 0);
        EXPECT_TRUE(main.runUntil([&] { return heard.size() == 1; }, 10s));
        // Pending together, they would come lowest number first.
        ASSERT_EQ(::raise(SIGTERM), 0);
        EXPECT_TRUE(main.runUntil([&] { return heard.size() == 2; }, 10s));
        ASSERT_EQ(::raise(SIGINT), 0);
        EXPECT_TRUE(main.runUntil([&] { return heard.size() == 3; }, 10s));
    }
    EXPECT_EQ(heard, (std::vector<int>{SIGHUP, SIGTERM, SIGINT}));
    // After the watch has gone a signal stays pending rather than kill.
    ASSERT_EQ(::raise(SIGTERM), 0);
    sigset_t pending;
    ::sigpending(&pending);
    EXPECT_EQ(sigismember(&pending, SIGTERM), 1);
    const sigset_t term = [] {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGTERM);
        return set;
    }();
    int taken = 0;
    ::sigwait(&term, &taken);
    ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
}
