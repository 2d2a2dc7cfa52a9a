#include "clock/TimeSync.h"

#include <utility>

#include <QDateTime>
#include <QPointer>
#include <algorithm>

#include "VELSerialPort.h"
#include "clock/SyncGrid.h"
#include "clock/WireTime.h"

TimeSync::TimeSync(FrameBuilder build, QObject* parent)
    : QObject(parent), build_(std::move(build)), wall_(&FrameSender::now)
{
    QPointer<TimeSync> self(this);
    sender_ = std::make_unique<FrameSender>(
        [self](const FrameSender::Report& report) {
            QMetaObject::invokeMethod(
                self.data(),
                [self, report] {
                    if (self) {
                        self->reported(report);
                    }
                },
                Qt::QueuedConnection);
        },
        [self] {
            QMetaObject::invokeMethod(
                self.data(),
                [self] {
                    if (self) {
                        self->clockWasStepped();
                    }
                },
                Qt::QueuedConnection);
        });
}

TimeSync::~TimeSync()
{
    // The sender's thread ends before the members it reports to.
    sender_.reset();
}

void TimeSync::setPort(std::shared_ptr<VELSerialPort> port)
{
    port_ = std::move(port);
    refresh();
}

void TimeSync::setLead(std::chrono::milliseconds lead)
{
    lead_ = std::clamp(lead, std::chrono::milliseconds(0), maximumLead);
    refresh();
}

void TimeSync::setWallClock(std::function<Nanoseconds()> wall)
{
    wall_ = wall ? std::move(wall) : std::function<Nanoseconds()>(&FrameSender::now);
    if (active_) {
        planFromNow();
    }
}

void TimeSync::start()
{
    const bool was = std::exchange(active_, true);
    longestTurn_ = Nanoseconds(0);
    recentTurns_.clear();
    planFromNow();
    if (!was) {
        emit activeChanged(true);
    }
}

void TimeSync::stop()
{
    const bool was = std::exchange(active_, false);
    plan_.reset();
    sender_->cancel();
    if (was) {
        emit activeChanged(false);
    }
}

void TimeSync::refresh()
{
    if (!active_ || !plan_) {
        return;
    }
    // Once its instant has come the frame is the sender's: built anew now
    // it would move on to the next point and leave this one without a
    // frame (a colour changed remotely, many times a second, did that now
    // and then). The change shows from the next point on.
    if (plan_->sendAt <= wall_()) {
        return;
    }
    planPoint(plan_->point);
}

void TimeSync::clockWasStepped()
{
    if (active_) {
        planFromNow();
    }
}

QDateTime TimeSync::localTimeAt(Nanoseconds instant) const
{
    const QDateTime local =
        QDateTime::fromMSecsSinceEpoch(std::chrono::duration_cast<std::chrono::milliseconds>(instant).count());
    return clock_ ? QDateTime(local.date(), clock_()) : local;
}

void TimeSync::planFromNow()
{
    // The frame's length is known once it is built, and it is built for a
    // point: plan with the lead alone, then move on while the wire time
    // would put the send instant in the past.
    planPoint(SyncGrid::firstPointAfter(wall_(), lead_));
}

void TimeSync::planPoint(Nanoseconds point)
{
    const auto began = std::chrono::steady_clock::now();
    const Nanoseconds now = wall_();
    for (;;) {
        Plan plan;
        plan.point = point;
        if (build_) {
            Frame frame = build_(point, localTimeAt(point));
            plan.digits = std::move(frame.digits);
            plan.bytes = std::move(frame.bytes);
        }
        const Nanoseconds wire =
            port_ ? WireTime::of(static_cast<std::size_t>(plan.bytes.size()), WireTime::formatOf(*port_)) : Nanoseconds(0);
        plan.sendAt = point - wire - lead_;
        if (plan.sendAt > now) {
            plan_ = std::move(plan);
            break;
        }
        point += SyncGrid::period;
    }
    // The sender waits on the real clock: the same distance from now.
    const Nanoseconds realSendAt = FrameSender::now() + (plan_->sendAt - now);
    if (plan_->bytes.isEmpty()) {
        sender_->schedule({plan_->point, realSendAt, {}, nullptr});
    } else {
        sender_->schedule({plan_->point, realSendAt, plan_->bytes, port_});
    }
    noteTurn(began);
}

void TimeSync::reported(const FrameSender::Report& report)
{
    if (!active_ || !plan_ || report.point != plan_->point) {
        return;
    }
    const auto began = std::chrono::steady_clock::now();
    switch (report.outcome) {
    case FrameSender::Outcome::Sent:
        ++counts_.sent;
        emit frameSent(report.bytes);
        break;
    case FrameSender::Outcome::Busy:
        ++counts_.busy;
        break;
    case FrameSender::Outcome::Late:
        ++counts_.late;
        break;
    case FrameSender::Outcome::NoPort:
        break;
    }
    const QString digits = plan_->digits;
    const Nanoseconds next = plan_->point + SyncGrid::period;
    emit pointReached(digits);
    if (active_) {
        planPoint(next);
    }
    noteTurn(began);
}

void TimeSync::noteTurn(std::chrono::steady_clock::time_point began)
{
    const Nanoseconds turn(std::chrono::steady_clock::now() - began);
    longestTurn_ = std::max(longestTurn_, turn);
    if (recentTurns_.size() == 256) {
        recentTurns_.erase(recentTurns_.begin());
    }
    recentTurns_.push_back(turn);
}
