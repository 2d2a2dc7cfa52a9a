#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "support/Observable.h"

namespace {

// A minimal observable with a stored key, a derived key and a list key.
class Gauge : public vel::Observable {
public:
    Gauge() { declareDependentKey("isOpen", "fileDescriptor"); }

    void setFileDescriptor(int fd)
    {
        willChangeValueForKey("fileDescriptor");
        fd_ = fd;
        didChangeValueForKey("fileDescriptor");
    }
    int fileDescriptor() const { return fd_; }

    void insert(std::size_t index)
    {
        willChange(vel::ChangeKind::Insertion, {index}, "items");
        didChange(vel::ChangeKind::Insertion, {index}, "items");
    }
    void remove(std::vector<std::size_t> indexes)
    {
        willChange(vel::ChangeKind::Removal, indexes, "items");
        didChange(vel::ChangeKind::Removal, indexes, "items");
    }

private:
    std::atomic<int> fd_{0};
};

}  // namespace

TEST(Observable, DerivedKeyIsToldBeforeAndAfterItsBaseChanges)
{
    Gauge gauge;
    std::vector<std::pair<bool, int>> seen;  // (isPrior, fd at that moment)
    auto observation = gauge.addObserver("isOpen", [&](const vel::Change& c) {
        EXPECT_EQ(c.key, "isOpen");
        seen.emplace_back(c.isPrior, gauge.fileDescriptor());
    });
    gauge.setFileDescriptor(7);
    EXPECT_EQ(seen, (std::vector<std::pair<bool, int>>{{true, 0}, {false, 7}}));
}

TEST(Observable, ListKeysCarryTheChangedIndexes)
{
    Gauge gauge;
    std::vector<vel::Change> after;
    auto observation = gauge.addObserver("items", [&](const vel::Change& c) {
        if (!c.isPrior) {
            after.push_back(c);
        }
    });
    gauge.insert(3);
    gauge.remove({0, 2});
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after[0].kind, vel::ChangeKind::Insertion);
    EXPECT_EQ(after[0].indexes, std::vector<std::size_t>{3});
    EXPECT_EQ(after[1].kind, vel::ChangeKind::Removal);
    EXPECT_EQ(after[1].indexes, (std::vector<std::size_t>{0, 2}));
}

TEST(Observable, DroppingTheObservationStopsNoticesAndMayOutliveTheObject)
{
    int calls = 0;
    vel::Observation kept;
    {
        Gauge gauge;
        vel::Observation observation = gauge.addObserver("fileDescriptor", [&](const vel::Change&) { ++calls; });
        gauge.setFileDescriptor(1);
        EXPECT_EQ(calls, 2);
        observation.reset();
        gauge.setFileDescriptor(2);
        EXPECT_EQ(calls, 2);
        kept = gauge.addObserver("fileDescriptor", [&](const vel::Change&) { ++calls; });
    }
    kept.reset();  // the gauge is gone; this must not touch it
    EXPECT_FALSE(kept);
}

TEST(Observable, AHandlerMayRemoveItselfAndChangesFromThreadsAreAllTold)
{
    Gauge gauge;
    vel::Observation self;
    int selfCalls = 0;
    self = gauge.addObserver("fileDescriptor", [&](const vel::Change&) {
        ++selfCalls;
        self.reset();
    });
    std::atomic<int> counted{0};
    auto counter = gauge.addObserver("fileDescriptor", [&](const vel::Change&) { counted.fetch_add(1); });

    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&gauge] {
            for (int i = 0; i < 250; ++i) {
                gauge.setFileDescriptor(i);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(selfCalls, 1);
    EXPECT_EQ(counted.load(), 4 * 250 * 2);
}
