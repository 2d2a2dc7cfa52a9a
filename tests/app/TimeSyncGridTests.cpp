// Where the time sync's ticks fall: the grid arithmetic at its edges, and the
// controller's timer on the grid of a wall clock that the test moves.
#include <QApplication>
#include <QDateTime>
#include <QLineEdit>
#include <QTest>
#include <algorithm>
#include <array>
#include <chrono>
#include <memory>
#include <vector>

#include "SerialPortDemoController.h"
#include "SyncGrid.h"

namespace {

constexpr int kDeadlineMs = 10000;
using std::chrono::microseconds;
using std::chrono::milliseconds;

}  // namespace

class TimeSyncGridTests : public QObject {
    Q_OBJECT

private slots:
    // The timer is aimed a little before the grid point and the tick sleeps
    // the rest, never past the point; a tick just short of a second shows it;
    // before the epoch the grid is the same.
    void gridArithmetic()
    {
        QCOMPARE(SyncGrid::timerDelay(microseconds(1'000'000)), milliseconds(197));
        QCOMPARE(SyncGrid::timerDelay(microseconds(1'199'999)), milliseconds(0));
        QCOMPARE(SyncGrid::timerDelay(microseconds(1'200'000)), milliseconds(197));
        QCOMPARE(SyncGrid::timerDelay(microseconds(-50'000)), milliseconds(47));
        QCOMPARE(SyncGrid::timeToPoint(microseconds(59'998'500)), microseconds(1'500));
        QCOMPARE(SyncGrid::timeToPoint(microseconds(59'990'000)), microseconds(0));
        QCOMPARE(SyncGrid::timeToPoint(microseconds(60'000'000)), microseconds(0));
        QCOMPARE(SyncGrid::instantToShow(microseconds(59'998'500)), microseconds(60'000'000));
        QCOMPARE(SyncGrid::instantToShow(microseconds(59'990'000)), microseconds(59'990'000));
        QCOMPARE(SyncGrid::instantToShow(microseconds(60'002'000)), microseconds(60'002'000));
        QCOMPARE(SyncGrid::offset(microseconds(-210'000)), microseconds(-10'000));

        SyncGrid grid;
        QVERIFY(!grid.observe(microseconds(5'000'000), microseconds(10)));
        QVERIFY(!grid.observe(microseconds(5'215'000), microseconds(200'010)));
        QVERIFY(grid.observe(microseconds(5'000'000), microseconds(400'010)));
        QVERIFY(grid.observe(microseconds(9'000'000), microseconds(600'010)));
    }

    // The ticks fall on the wall clock's 200 ms grid, and find it again after
    // the wall clock jumps (here by an hour and 100 ms, the farthest a tick
    // can be from the grid), showing the new time.
    void ticksFollowTheWallClocksGridAcrossAJump()
    {
        SerialPortDemoController controller;
        std::array<QLineEdit, 6> tubes;
        for (int i = 0; i < 6; ++i) {
            controller.setProperty("tube" + QByteArray::number(i + 1), QVariant::fromValue(&tubes[i]));
        }
        using std::chrono::microseconds;
        const auto monotonic = [] {
            return std::chrono::duration_cast<microseconds>(std::chrono::steady_clock::now().time_since_epoch());
        };
        const microseconds start(QDateTime(QDate(2026, 12, 8), QTime(10, 0, 30, 50)).toMSecsSinceEpoch() * 1000);
        auto offset = std::make_shared<microseconds>(start - monotonic());
        auto ticks = std::make_shared<std::vector<microseconds>>();
        controller.setClock({});
        controller.setSyncClocks(
            [=] {
                ticks->push_back(monotonic() + *offset);
                return ticks->back();
            },
            monotonic);
        // Most of the last five readings of the clock within 30 ms of a grid
        // point (a tick reads it a little before the point and once more
        // before it sends): the old phase lies 100 ms away, a busy machine
        // delays a tick or two.
        const auto onGrid = [&] {
            int near = 0;
            for (std::size_t i = ticks->size() - 5; i < ticks->size(); ++i) {
                const auto phase = (*ticks)[i].count() % 200'000;
                near += std::min(phase, 200'000 - phase) < 30'000 ? 1 : 0;
            }
            return near >= 3;
        };

        controller.senddate();
        QTRY_VERIFY_WITH_TIMEOUT(ticks->size() >= 8, kDeadlineMs);
        QVERIFY(onGrid());

        *offset += microseconds(3'600'100'000);
        const std::size_t beforeJump = ticks->size();
        QTRY_VERIFY_WITH_TIMEOUT(ticks->size() >= beforeJump + 8, kDeadlineMs);
        QVERIFY(onGrid());
        QCOMPARE(tubes[0].text() + tubes[1].text(), QStringLiteral("11"));
        controller.stop();
    }

};

QTEST_MAIN(TimeSyncGridTests)
#include "TimeSyncGridTests.moc"
