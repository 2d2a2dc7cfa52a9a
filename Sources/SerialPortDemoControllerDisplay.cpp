// The controller's display side: what the tubes show (DisplayComposer) for
// each point of the sync, the settings and what was asked for a while, the
// preview in the tube fields and the frames between the points while an
// effect moves.
#include "SerialPortDemoController.h"

#include <QPalette>
#include <utility>

#include "VELSerialPort.h"
#include "clock/SyncGrid.h"
#include "clock/WireTime.h"

namespace {

qint64 millisecondsOf(TimeSync::Nanoseconds instant)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(instant).count();
}

// Room left before a time frame's send instant for a frame between the
// points to clear the line, beyond its own time on the wire: the time frame
// finds the line busy otherwise, and is dropped rather than sent late.
constexpr std::chrono::milliseconds inBetweenMargin{6};

}  // namespace

void SerialPortDemoController::setDisplaySettings(const DisplaySettings& wanted)
{
    const DisplaySettings settings = wanted.bounded();
    if (settings == displaySettings_) {
        return;
    }
    displaySettings_ = settings;
    followDisplay();
    emit displaySettingsChanged(displaySettings_);
}

void SerialPortDemoController::setDisplayState(const DisplayState& state)
{
    if (state == displayState_) {
        return;
    }
    displayState_ = state;
    followDisplay();
    emit displayStateChanged(displayState_);
}

void SerialPortDemoController::followDisplay()
{
    timeSync_.refresh();
    if (displaySettings_ == DisplaySettings{} && displayState_ == DisplayState{}) {
        // Back to the plain clock: the preview is the wells' again.
        if (std::exchange(previewing_, false)) {
            showWellColoursInTubes();
        }
    } else {
        previewColours(shownAt(timeSync_.wallNow()).colours);
    }
    const bool moves = displaySettings_.moves() || displaySettings_.antiPoisoningEnabled;
    if (timeSync_.isActive() && moves) {
        if (!inBetween_.isActive()) {
            scheduleInBetweenFrame();
        }
    } else {
        inBetween_.stop();
    }
}

void SerialPortDemoController::scheduleInBetweenFrame()
{
    // On the wall clock's 40 ms points, but for those of the sync's grid,
    // whose time frames show them: with these, 25 frames a second in all.
    const TimeSync::Nanoseconds now = timeSync_.wallNow();
    TimeSync::Nanoseconds next = (now / inBetweenInterval + 1) * inBetweenInterval;
    if (next % SyncGrid::period == TimeSync::Nanoseconds(0)) {
        next += inBetweenInterval;
    }
    inBetween_.start(std::chrono::ceil<std::chrono::milliseconds>(next - now));
}

void SerialPortDemoController::showDigits(const QString& digits, std::chrono::seconds duration)
{
    DisplayState state = displayState_;
    state.customDigits = digits.left(tubeCount);
    state.customUntil.reset();
    if (duration.count() > 0 && !digits.isEmpty()) {
        state.customUntil = millisecondsOf(timeSync_.wallNow()) + duration.count() * 1000;
    }
    setDisplayState(state);
}

void SerialPortDemoController::clearShownDigits()
{
    DisplayState state = displayState_;
    state.customDigits.clear();
    state.customUntil.reset();
    setDisplayState(state);
}

void SerialPortDemoController::startCountdown(std::chrono::seconds duration)
{
    DisplayState state = displayState_;
    state.countdownEnd = millisecondsOf(timeSync_.wallNow()) + duration.count() * 1000;
    countdownSaid_ = false;
    setDisplayState(state);
}

void SerialPortDemoController::startCountdownTo(const QTime& time)
{
    const QDateTime now = timeSync_.localNow();
    QDateTime end(now.date(), time);
    if (end <= now) {
        end = QDateTime(now.date().addDays(1), time);
    }
    DisplayState state = displayState_;
    state.countdownEnd = now.toMSecsSinceEpoch() + now.msecsTo(end);
    countdownSaid_ = false;
    setDisplayState(state);
}

void SerialPortDemoController::stopCountdown()
{
    DisplayState state = displayState_;
    state.countdownEnd.reset();
    setDisplayState(state);
}

DisplayComposer::Shown SerialPortDemoController::shownAt(TimeSync::Nanoseconds instant) const
{
    return shownAtLocal(instant, timeSync_.localTimeAt(instant));
}

DisplayComposer::Shown SerialPortDemoController::shownAtLocal(TimeSync::Nanoseconds instant,
                                                              const QDateTime& local) const
{
    return DisplayComposer::compose(millisecondsOf(instant), local, displaySettings_, displayState_,
                                    tubeColours().value_or(ownColours_), localeDateOrder_);
}

TimeSync::Frame SerialPortDemoController::composeFrame(TimeSync::Nanoseconds point, const QDateTime& local)
{
    const DisplayComposer::Shown shown = shownAtLocal(point, local);
    builtPoint_ = point;
    builtLocal_ = local;
    builtColours_ = shown.colours;
    TimeSync::Frame frame{shown.digits, {}};
    const std::optional<QString> text =
        tubeColours() ? frameStringShowing(QLatin1Char(ClockFrame::kTimeLead), shown.digits, shown.colours)
                      : std::nullopt;
    if (text && text->isValidUtf16()) {
        frame.bytes = withLineEnding(*text).toUtf8();
    }
    return frame;
}

std::optional<QString> SerialPortDemoController::frameStringShowing(QChar lead, const QString& digits,
                                                                    const std::array<QColor, tubeCount>& colours) const
{
    if (hasTubeOutlets_ && std::any_of(tubes_.begin(), tubes_.end(), [](const auto& t) { return !t; })) {
        return std::nullopt;
    }
    std::array<QString, tubeCount> texts;
    for (int i = 0; i < tubeCount; ++i) {
        texts[i] = digits.mid(i, 1);
    }
    return ClockFrame::text(lead, texts, colours);
}

std::optional<QString> SerialPortDemoController::frameStringColoured(QChar lead,
                                                                     const std::array<QColor, tubeCount>& colours) const
{
    std::array<QString, tubeCount> digits = ownDigits_;
    for (int i = 0; i < tubeCount && hasTubeOutlets_; ++i) {
        if (!tubes_[i]) {
            return std::nullopt;
        }
        digits[i] = tubes_[i]->text();
    }
    if (!tubeColours()) {
        return std::nullopt;
    }
    return ClockFrame::text(lead, digits, colours);
}

void SerialPortDemoController::previewColours(const std::array<QColor, tubeCount>& colours)
{
    // The plain clock leaves the preview to the colour actions, as it
    // always did.
    if (displaySettings_ == DisplaySettings{} && displayState_ == DisplayState{}) {
        return;
    }
    previewing_ = true;
    for (int i = 0; i < tubeCount; ++i) {
        if (tubes_[i]) {
            QPalette palette = tubes_[i]->palette();
            palette.setColor(QPalette::Text, colours[i]);
            tubes_[i]->setPalette(palette);
        }
    }
}

void SerialPortDemoController::pointWasReached()
{
    if (!timeSync_.plan()) {
        return;
    }
    const TimeSync::Nanoseconds point = timeSync_.plan()->point;
    if (builtPoint_ == point) {
        previewColours(builtColours_);
        // The point's local time at a fixed offset: the frames until the
        // next point count on from it without asking the time zone each
        // time (which costs microseconds); a zone's change of offset falls
        // on a whole hour, a point.
        reachedPoint_ = point;
        reachedLocal_ = QDateTime(builtLocal_.date(), builtLocal_.time(), Qt::OffsetFromUTC, builtLocal_.offsetFromUtc());
    }
    const qint64 at = millisecondsOf(point);
    DisplayState state = displayState_;
    if (state.countdownEnd && at >= *state.countdownEnd && !countdownSaid_) {
        countdownSaid_ = true;
        emit countdownFinished();
    }
    if (state.countdownEnd && at >= *state.countdownEnd + DisplayState::flashMilliseconds) {
        state.countdownEnd.reset();
    }
    if (state.customUntil && at >= *state.customUntil) {
        state.customDigits.clear();
        state.customUntil.reset();
    }
    setDisplayState(state);
}

void SerialPortDemoController::sendInBetweenFrame()
{
    if (!timeSync_.isActive()) {
        return;
    }
    scheduleInBetweenFrame();
    if (!timeSync_.plan() || !serialPort_) {
        return;
    }
    const TimeSync::Nanoseconds now = timeSync_.wallNow();
    if (!reachedLocal_.isValid() || now < reachedPoint_ || now - reachedPoint_ > SyncGrid::period) {
        return;
    }
    // The window's preview follows the points only: repainting six fields
    // 25 times a second would cost more than the frames themselves.
    const DisplayComposer::Shown shown =
        shownAtLocal(now, reachedLocal_.addMSecs(millisecondsOf(now) - millisecondsOf(reachedPoint_)));
    if (!shown.moving) {
        return;
    }
    const std::optional<QString> text =
        tubeColours() ? frameStringShowing(QLatin1Char(ClockFrame::kTimeLead), shown.digits, shown.colours)
                      : std::nullopt;
    if (!text || !text->isValidUtf16()) {
        return;
    }
    const QByteArray bytes = withLineEnding(*text).toUtf8();
    const TimeSync::Nanoseconds wire = WireTime::of(static_cast<std::size_t>(bytes.size()), WireTime::formatOf(*serialPort_));
    if (timeSync_.plan()->sendAt - now < wire + inBetweenMargin) {
        return;
    }
    const std::span<const std::uint8_t> data(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                             static_cast<std::size_t>(bytes.size()));
    if (serialPort_->sendDataIfIdle(data)) {
        ++inBetweenSent_;
    }
}
