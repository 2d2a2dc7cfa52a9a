#include "SerialPortDemoController.h"

#include <QDateTime>

#include <QLocale>
#include <algorithm>
#include <QMessageBox>
#include <QPalette>
#include <QThread>
#include <cstdint>
#include <iostream>
#include <span>
#include <string>
#include <thread>
#include <utility>

#include "HalodialColor.h"
#include "console/LineStatusWidget.h"
#include "PortProblem.h"
#include "support/NotificationCenter.h"
#include "PortDelegateAdapter.h"
#include "support/PosixError.h"
#include "desktop/UserNotification.h"
#include "desktop/UserNotificationCenter.h"
#include "VELSerialPort.h"
#include "VELSerialPortManager.h"

namespace {

QTime localTimeOf(std::chrono::microseconds sinceEpoch)
{
    return QDateTime::fromMSecsSinceEpoch(std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch).count())
        .time();
}

// Until the project has a wiki of its own, the reserved example domain.
const QString supportWikiHost = QStringLiteral("wiki.example.org");

void setTextColour(QLineEdit* field, const QColor& colour)
{
    QPalette palette = field->palette();
    palette.setColor(QPalette::Text, colour);
    field->setPalette(palette);
}

}  // namespace

SerialPortDemoController::SerialPortDemoController(VELSerialPortManager* manager, QObject* parent)
    : SerialPortDemoController(UserNotificationCenter::defaultUserNotificationCenter(), manager, parent)
{
}

SerialPortDemoController::SerialPortDemoController(UserNotificationCenter& userNotificationCenter,
                                                   VELSerialPortManager* manager, QObject* parent)
    : QObject(parent),
      serialPortManager_(manager),
      wallClock_([] {
          return std::chrono::duration_cast<Microseconds>(std::chrono::system_clock::now().time_since_epoch());
      }),
      monotonicClock_([] {
          return std::chrono::duration_cast<Microseconds>(std::chrono::steady_clock::now().time_since_epoch());
      }),
      userNotificationCenter_(&userNotificationCenter),
      portDelegate_(std::make_shared<PortDelegateAdapter>(*this))
{
    auto& notifications = vel::NotificationCenter::defaultCenter();
    notifications.addObserver(this, VELSerialPortsWereConnectedNotification, nullptr,
                              [this](const vel::Notification& notification) { serialPortsWereConnected(notification); });
    notifications.addObserver(this, VELSerialPortsWereDisconnectedNotification, nullptr,
                              [this](const vel::Notification& notification) {
                                  serialPortsWereDisconnected(notification);
                              });
    userNotificationCenter.setDelegate(this);
}

SerialPortDemoController::~SerialPortDemoController()
{
    // The centre forgets its delegate by itself; the notification centre
    // would call a dead controller.
    vel::NotificationCenter::defaultCenter().removeObserver(this);
    releaseReceivedDataTextView();
}

void SerialPortDemoController::setShouldAddLineEnding(bool add)
{
    if (add == shouldAddLineEnding_) {
        return;
    }
    shouldAddLineEnding_ = add;
    emit shouldAddLineEndingChanged(add);
}

void SerialPortDemoController::setSerialPort(std::shared_ptr<VELSerialPort> port)
{
    const std::shared_ptr<VELSerialPort> previous = std::exchange(serialPort_, std::move(port));
    if (previous) {
        previous->close();
        previous->setDelegate({});
    }
    isOpenObservation_ = {};
    if (serialPort_) {
        serialPort_->setDelegate(portDelegate_);
        std::weak_ptr<VELSerialPort> observed = serialPort_;
        QPointer<SerialPortDemoController> self(this);
        isOpenObservation_ = serialPort_->addObserver("isOpen", [self, observed](const vel::Change& change) {
            if (change.isPrior) {
                return;
            }
            // Told on the thread that changed it; the state lives on ours.
            if (self && QThread::currentThread() == self->thread()) {
                self->portOpennessChanged(observed.lock());
                return;
            }
            QMetaObject::invokeMethod(
                self.data(),
                [self, observed] {
                    if (self) {
                        self->portOpennessChanged(observed.lock());
                    }
                },
                Qt::QueuedConnection);
        });
    }
    console_.startNewStream();
    if (lineStatusWidget_) {
        lineStatusWidget_->setLines(LineStatusWidget::Lines::of(serialPort_));
    }
    // The previous port's closed callback no longer reaches the controller,
    // so the title would go on telling the old port's state.
    const bool open = serialPort_ && serialPort_->isOpen();
    setOpenCloseTitle(open ? tr("Close") : tr("Open"));
    lastProblem_.clear();
    setPortState(!serialPort_ ? PortState::NoPort : open ? PortState::Open : PortState::Closed);
    emit serialPortChanged();
}

QString SerialPortDemoController::statusText() const
{
    const QString name = serialPort_ ? QString::fromStdString(serialPort_->name()) : goneName_;
    QString state;
    switch (portState_) {
    case PortState::NoPort:
        state = tr("No port chosen.");
        break;
    case PortState::Closed:
        state = tr("%1 is closed.").arg(name);
        break;
    case PortState::Opening:
        state = tr("Opening %1\u2026").arg(name);
        break;
    case PortState::Open:
        state = tr("%1 is open.").arg(name);
        break;
    case PortState::Gone:
        state = tr("%1 is gone (unplugged or hung up).").arg(name);
        break;
    case PortState::Waiting:
        state = tr("Waiting for %1 to come back\u2026").arg(name);
        break;
    }
    return lastProblem_.isEmpty() ? state : state + QLatin1Char(' ') + lastProblem_;
}

void SerialPortDemoController::setPortState(PortState state)
{
    const bool changed = state != portState_;
    portState_ = state;
    if (changed) {
        emit portStateChanged(state);
    }
    emit statusChanged(statusText());
}

void SerialPortDemoController::portOpennessChanged(const std::shared_ptr<VELSerialPort>& port)
{
    if (!isCurrentPort(port)) {
        return;
    }
    const bool open = port->isOpen();
    if (open && portState_ != PortState::Open) {
        setOpenCloseTitle(tr("Close"));
        setPortState(PortState::Open);
    } else if (!open && portState_ == PortState::Open) {
        setOpenCloseTitle(tr("Open"));
        setPortState(PortState::Closed);
    }
}

void SerialPortDemoController::waitForPort(const QString& name)
{
    if (serialPort_) {
        setSerialPort(nullptr);
    }
    goneName_ = name;
    setOpenCloseTitle(tr("Close"));
    setPortState(PortState::Waiting);
}

void SerialPortDemoController::setProblem(const QString& problem)
{
    lastProblem_ = problem;
    emit statusChanged(statusText());
}

void SerialPortDemoController::setClock(std::function<QTime()> clock)
{
    clock_ = std::move(clock);
}

void SerialPortDemoController::setSyncClocks(std::function<Microseconds()> wall, std::function<Microseconds()> monotonic)
{
    wallClock_ = std::move(wall);
    monotonicClock_ = std::move(monotonic);
    syncGrid_.reset();
}

void SerialPortDemoController::setReceivedDataTextView(QPlainTextEdit* view)
{
    if (view == receivedDataTextView_) {
        return;
    }
    releaseReceivedDataTextView();
    receivedDataTextView_ = view;
    consoleScrollback_.setView(view);
}

void SerialPortDemoController::releaseReceivedDataTextView()
{
    // A hosted view belongs to its host's widget tree; only an unhosted one
    // is ours to delete.
    if (receivedDataTextView_ && !receivedDataTextView_->parent()) {
        delete receivedDataTextView_.data();
    }
    receivedDataTextView_.clear();
}

QString SerialPortDemoController::lineEndingString() const
{
    if (!lineEndingPopUpButton_ || lineEndingPopUpButton_->currentIndex() < 0) {
        return QStringLiteral("\n");
    }
    bool isNumber = false;
    const int tag = lineEndingPopUpButton_->currentData().toInt(&isNumber);
    if (!isNumber) {
        return QStringLiteral("\n");
    }
    switch (tag) {
    case 0:
        return QStringLiteral("\r");
    case 2:
        return QStringLiteral("\r\n");
    default:
        return QStringLiteral("\n");
    }
}

std::optional<QString> SerialPortDemoController::frameString(QChar lead) const
{
    QString frame(lead);
    for (int i = 0; i < tubeCount; ++i) {
        if (!tubes_[i] || !wells_[i]) {
            return std::nullopt;
        }
        frame += tubes_[i]->text();
        frame += HalodialColor::hexString(wells_[i]->color());
    }
    return frame;
}

void SerialPortDemoController::sendString(const QString& text)
{
    QString outgoing = text;
    if (shouldAddLineEnding_ && !outgoing.endsWith(QLatin1Char('\n'))) {
        outgoing += lineEndingString();
    }
    if (!outgoing.isValidUtf16() || !serialPort_) {
        return;
    }
    writeToPort(outgoing.toUtf8());
}

void SerialPortDemoController::sendBytes(const QByteArray& bytes)
{
    QByteArray outgoing = bytes;
    if (shouldAddLineEnding_ && !outgoing.endsWith('\n')) {
        outgoing += lineEndingString().toLatin1();
    }
    if (serialPort_) {
        writeToPort(outgoing);
    }
}

void SerialPortDemoController::writeToPort(const QByteArray& bytes)
{
    const std::span<const std::uint8_t> data(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                             static_cast<std::size_t>(bytes.size()));
    if (serialPort_->sendData(data)) {
        console_.didSend(data);
    }
}

LineStatusWidget* SerialPortDemoController::lineStatusWidget() const
{
    return lineStatusWidget_;
}

void SerialPortDemoController::setLineStatusWidget(LineStatusWidget* widget)
{
    lineStatusWidget_ = widget;
    if (widget) {
        widget->setLines(LineStatusWidget::Lines::of(serialPort_));
    }
}

void SerialPortDemoController::help()
{
    QMessageBox alert(win_);
    alert.setText(tr("Halodial Help"));
    alert.setInformativeText(tr("For More Help , please visit '%1'").arg(supportWikiHost));
    alert.exec();
}

void SerialPortDemoController::showWellColoursInTubes()
{
    for (int i = 0; i < tubeCount; ++i) {
        applyWellColourToTube(i);
    }
}

void SerialPortDemoController::applyWellColourToTube(int index)
{
    if (wells_[index] && tubes_[index]) {
        setTextColour(tubes_[index], wells_[index]->color());
    }
}

void SerialPortDemoController::colorall()
{
    if (!colall_) {
        return;
    }
    const QColor colour = colall_->color();
    for (const auto& well : wells_) {
        if (well) {
            well->setColor(colour);
        }
    }
    for (const auto& tube : tubes_) {
        if (tube) {
            setTextColour(tube, colour);
        }
    }
}

void SerialPortDemoController::colorc1()
{
    applyWellColourToTube(0);
}

void SerialPortDemoController::color2()
{
    applyWellColourToTube(1);
}

void SerialPortDemoController::color3()
{
    applyWellColourToTube(2);
}

void SerialPortDemoController::color4()
{
    applyWellColourToTube(3);
}

void SerialPortDemoController::color5()
{
    applyWellColourToTube(4);
}

void SerialPortDemoController::color6()
{
    applyWellColourToTube(5);
}

void SerialPortDemoController::tickDown()
{
    const Microseconds wall = wallClock_();
    const bool jumped = syncGrid_.observe(wall, monotonicClock_());
    // The timer fires a little before the grid point: the tick shows the
    // point's time and builds its frame, then sleeps the rest of the way
    // (at most alignmentTolerance, typically a millisecond) and sends, so
    // that the frame leaves right after the point. After a jump of the wall
    // clock the frame goes out at once.
    const Microseconds ahead = jumped ? Microseconds(0) : SyncGrid::timeToPoint(wall);
    const Microseconds sendAt = wall + ahead;
    // Every tick aims the timer at the next grid point anew, so that a busy
    // moment, the timer's own drift or a jump of the wall clock lasts one
    // tick at most.
    if (timer_ && timer_->isActive()) {
        timer_->start(SyncGrid::timerDelay(wall, sendAt));
    }
    // The C locale whatever the user's: a clock's tubes hold 0 to 9 only,
    // and Arabic-Indic digits would also make the frame longer than the
    // clock reads.
    const QTime time = clock_ ? clock_() : localTimeOf(SyncGrid::instantToShow(sendAt));
    const QString digits = QLocale::c().toString(time, QStringLiteral("HHmmss"));
    for (int i = 0; i < tubeCount; ++i) {
        if (tubes_[i]) {
            tubes_[i]->setText(digits.mid(i, 1));
        }
    }
    // Earlier bytes still waiting (a device that does not read, or flow
    // control holding the line): a time frame queued behind them would
    // arrive late, and a late time is worse than none. The window shows the
    // time all the same; the next tick tries again.
    if (serialPort_ && serialPort_->queuedOutputByteCount() > 0) {
        return;
    }
    const std::optional<QString> frame = frameString(QLatin1Char('/'));
    if (const Microseconds left = sendAt - wallClock_(); left > Microseconds(0)) {
        std::this_thread::sleep_for(std::min(left, SyncGrid::alignmentTolerance));
    }
    sendFrame(frame);
}

void SerialPortDemoController::sendFrame(const std::optional<QString>& frame)
{
    if (!frame) {
        return;
    }
    if (!frame->isValidUtf16()) {
        setProblem(tr("The tubes hold text that cannot be sent (a broken character); nothing was sent."));
        return;
    }
    sendString(*frame);
}

void SerialPortDemoController::senddate()
{
    // One sync timer for the controller's life: a further press restarts it
    // instead of adding a second stream of frames.
    if (!timer_) {
        timer_ = new QTimer(this);
        timer_->setTimerType(Qt::PreciseTimer);
        timer_->setInterval(tickIntervalMs);
        connect(timer_, &QTimer::timeout, this, &SerialPortDemoController::tickDown);
    }
    // The first frame goes out now; the ticks after it fall on the grid.
    const Microseconds wall = wallClock_();
    syncGrid_.reset();
    syncGrid_.observe(wall, monotonicClock_());
    timer_->start(SyncGrid::timerDelay(wall));
    showWellColoursInTubes();
    sendFrame(frameString(QLatin1Char('/')));
}

void SerialPortDemoController::stop()
{
    if (timer_) {
        timer_->stop();
    }
}

void SerialPortDemoController::save()
{
    sendFrame(frameString(QLatin1Char('*')));
}

void SerialPortDemoController::send()
{
    if (!sendTextField_) {
        return;
    }
    const QString line = sendTextField_->text();
    if (console_.sendsHex()) {
        // A malformed byte sends nothing: half a command can do harm.
        const std::optional<QByteArray> bytes = console_.bytesForLine(line);
        if (!bytes) {
            return;
        }
        sendBytes(*bytes);
    } else {
        sendString(line);
    }
    console_.history().add(line);
}

void SerialPortDemoController::openOrClosePort()
{
    if (!serialPort_) {
        if (portState_ == PortState::Waiting) {
            setOpenCloseTitle(tr("Open"));
            setPortState(PortState::Gone);
        }
        return;
    }
    if (serialPort_->isOpen()) {
        serialPort_->close();
        return;
    }
    lastProblem_.clear();
    setPortState(PortState::Opening);
    serialPort_->open();
    // Also after a failed open: the view shows this opening's text or none.
    console_.clear();
}

void SerialPortDemoController::setOpenCloseTitle(const QString& title)
{
    if (openCloseButton_) {
        openCloseButton_->setText(title);
    }
}

bool SerialPortDemoController::isCurrentPort(const std::shared_ptr<VELSerialPort>& port) const
{
    // Callbacks of a port given up may still be on their way: a late
    // "removed" must not drop the port chosen since, nor a late "closed"
    // retitle its button.
    return port && port == serialPort_;
}

void SerialPortDemoController::serialPortWasOpened(const std::shared_ptr<VELSerialPort>& port)
{
    if (isCurrentPort(port)) {
        setOpenCloseTitle(tr("Close"));
        setPortState(PortState::Open);
    }
}

void SerialPortDemoController::serialPortWasClosed(const std::shared_ptr<VELSerialPort>& port)
{
    // The notice of an earlier close can arrive after the port has been
    // opened again (the window may choose it again in between): believe
    // the port rather than the notice.
    if (isCurrentPort(port)) {
        const bool open = port->isOpen();
        setOpenCloseTitle(open ? tr("Close") : tr("Open"));
        setPortState(open ? PortState::Open : PortState::Closed);
    }
}

void SerialPortDemoController::serialPortDidReceiveData(const std::shared_ptr<VELSerialPort>& port,
                                                        std::span<const std::uint8_t> data)
{
    if (isCurrentPort(port)) {
        console_.receive(data);
    }
}

void SerialPortDemoController::serialPortWasRemovedFromSystem(const std::shared_ptr<VELSerialPort>& port)
{
    if (!isCurrentPort(port)) {
        return;
    }
    const QString name = QString::fromStdString(port->name());
    if (!wasListed(port)) {
        // The manager's "Ports were disconnected" line covers listed ports
        // only; a port given by path would otherwise vanish without a word.
        std::cout << "Port " << port->name() << " (" << port->path() << ") went away" << std::endl;
    }
    setSerialPort(nullptr);
    setOpenCloseTitle(tr("Open"));
    goneName_ = name;
    setPortState(PortState::Gone);
    emit portWentAway(tr("%1 went away (unplugged or hung up).").arg(QString::fromStdString(port->path())));
}

bool SerialPortDemoController::wasListed(const std::shared_ptr<VELSerialPort>& port) const
{
    for (const auto& announced : announcedDisconnections_) {
        if (announced.lock() == port) {
            return true;
        }
    }
    if (!serialPortManager_) {
        return false;
    }
    const auto listed = serialPortManager_->availablePorts();
    return std::find(listed.begin(), listed.end(), port) != listed.end();
}

void SerialPortDemoController::serialPortDidEncounterError(const std::shared_ptr<VELSerialPort>& port,
                                                           const vel::PosixError& error)
{
    std::cout << "SerialPort " << (port ? port->description() : std::string()) << " encountered an error: "
              << error.description() << std::endl;
    if (!isCurrentPort(port)) {
        return;
    }
    const QString message = PortProblem::describe(error);
    lastProblem_ = message;
    if (portState_ == PortState::Opening && !port->isOpen()) {
        setPortState(PortState::Closed);
        emit openFailed(message);
    } else {
        emit statusChanged(statusText());
    }
}
