#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTime>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "clock/FrameSender.h"

class VELSerialPort;

// The live time sync: on every point of the wall clock's 200 ms grid
// (SyncGrid) the clock gets a time frame showing that point's time, sent
// early by the frame's own time on the wire and an extra lead, so that its
// last byte reaches the clock on the point.
//
// The frame for the coming point is built ahead on this (the window's)
// thread, and built anew when what it carries changes (refresh()); a
// FrameSender writes it at its instant. When the point comes, pointReached
// tells what the tubes show now. The window's thread never waits for an
// instant: each point costs it one short turn (showing the digits, building
// the next frame).
//
// GUI thread only.
class TimeSync : public QObject {
    Q_OBJECT

public:
    using Nanoseconds = std::chrono::nanoseconds;

    // What the tubes show at a point and the bytes of the time frame that
    // shows it; no bytes when no frame can be built (then nothing is sent
    // for that point, and the tubes still show the digits).
    struct Frame {
        QString digits;
        QByteArray bytes;
    };
    // Composes the frame for the point, given the local date and time the
    // point stands for (localTimeAt). Called on this thread, once a plan.
    using FrameBuilder = std::function<Frame(Nanoseconds point, const QDateTime& local)>;

    // The extra lead's range, for adapters with a latency of their own.
    static constexpr std::chrono::milliseconds maximumLead{100};

    struct Plan {
        Nanoseconds point{0};
        Nanoseconds sendAt{0};  // on the planning clock
        QString digits;
        QByteArray bytes;       // empty when no frame could be built
    };

    explicit TimeSync(FrameBuilder build, QObject* parent = nullptr);
    ~TimeSync() override;

    // Frames go to this port (none: they are planned and dropped); its line
    // settings give their time on the wire.
    void setPort(std::shared_ptr<VELSerialPort> port);
    // Sends each frame this much earlier again; clamped to 0..maximumLead.
    void setLead(std::chrono::milliseconds lead);
    std::chrono::milliseconds lead() const { return lead_; }

    // The time of day the frames are composed for: the local time of the
    // instant, unless a test fixes it.
    void setClock(std::function<QTime()> clock) { clock_ = std::move(clock); }
    // The wall clock the grid is planned on (nanoseconds since the epoch);
    // CLOCK_REALTIME unless a test moves it. Frames still leave on the real
    // clock, at the same distance from now as on the planning clock.
    void setWallClock(std::function<Nanoseconds()> wall);

    void start();
    void stop();
    bool isActive() const { return active_; }

    // What the next frame carries changed (a colour, the line ending, the
    // port's settings): the waiting frame is built anew, unless its send
    // instant has come (then the change shows from the next point on).
    void refresh();
    // The system clock was set: plan from its new time (the sender's
    // timerfd tells this; public so that a test can tell it too).
    void clockWasStepped();

    // The frame planned for the coming point, while the sync runs.
    const std::optional<Plan>& plan() const { return plan_; }

    // The local date and time at `instant`, in the system's time zone; a
    // clock set by setClock gives the time of day (asked once a call).
    QDateTime localTimeAt(Nanoseconds instant) const;
    // The same now, on the planning clock.
    QDateTime localNow() const { return localTimeAt(wall_()); }
    Nanoseconds wallNow() const { return wall_(); }

    // How long the sync's last turns on this thread took (up to 256 of
    // them, since start()), and the longest of all.
    const std::vector<Nanoseconds>& recentTurns() const { return recentTurns_; }
    Nanoseconds longestTurn() const { return longestTurn_; }

    // How the last frames fared, for the benchmark and the curious.
    struct Counts {
        int sent = 0;
        int busy = 0;
        int late = 0;
    };
    Counts counts() const { return counts_; }

signals:
    // The sync started or stopped (start() on a running sync says nothing).
    void activeChanged(bool active);
    // A grid point came: the tubes show `digits` from now on.
    void pointReached(const QString& digits);
    // A time frame left, these bytes.
    void frameSent(const QByteArray& bytes);

private:
    void planPoint(Nanoseconds point);
    void planFromNow();
    void reported(const FrameSender::Report& report);
    void noteTurn(std::chrono::steady_clock::time_point began);

    FrameBuilder build_;
    std::function<QTime()> clock_;
    std::function<Nanoseconds()> wall_;
    std::shared_ptr<VELSerialPort> port_;
    std::chrono::milliseconds lead_{0};
    bool active_ = false;
    std::optional<Plan> plan_;
    Nanoseconds longestTurn_{0};
    std::vector<Nanoseconds> recentTurns_;
    Counts counts_;
    // Last: its thread's callbacks reach the members above until it stops.
    std::unique_ptr<FrameSender> sender_;
};
