#include "SerialPortDemoController.h"

#include <QLocale>
#include <algorithm>
#include <QMessageBox>
#include <QPalette>
#include <QThread>
#include <cstdint>
#include <iostream>
#include <span>
#include <string>
#include <utility>

#include "clock/HalodialColor.h"
#include "console/LineStatusWidget.h"
#include "ports/PortProblem.h"
#include "support/NotificationCenter.h"
#include "ports/PortDelegateAdapter.h"
#include "support/PosixError.h"
#include "desktop/UserNotification.h"
#include "desktop/UserNotificationCenter.h"
#include "VELSerialPort.h"
#include "VELSerialPortManager.h"

namespace {

// The project's homepage, the one the metainfo names (set in CMake).
const QString supportHost = QStringLiteral(HALODIAL_HOMEPAGE_HOST);

}  // namespace

SerialPortDemoController::SerialPortDemoController(VELSerialPortManager* manager, QObject* parent)
    : SerialPortDemoController(UserNotificationCenter::defaultUserNotificationCenter(), manager, parent)
{
}

SerialPortDemoController::SerialPortDemoController(UserNotificationCenter& userNotificationCenter,
                                                   VELSerialPortManager* manager, QObject* parent)
    : QObject(parent),
      serialPortManager_(manager),
      userNotificationCenter_(&userNotificationCenter),
      portDelegate_(std::make_shared<PortDelegateAdapter>(*this)),
      hotPlug_(&userNotificationCenter)
{
    auto& notifications = vel::NotificationCenter::defaultCenter();
    notifications.addObserver(this, VELSerialPortsWereConnectedNotification, nullptr,
                              [this](const vel::Notification& notification) { serialPortsWereConnected(notification); });
    notifications.addObserver(this, VELSerialPortsWereDisconnectedNotification, nullptr,
                              [this](const vel::Notification& notification) {
                                  serialPortsWereDisconnected(notification);
                              });
    userNotificationCenter.setDelegate(this);
    ownColours_.fill(QColor(defaultTubeColour));
    connect(&status_, &PortStatus::textChanged, this, &SerialPortDemoController::statusChanged);
    connect(&status_, &PortStatus::stateChanged, this, &SerialPortDemoController::portStateChanged);
    connect(&timeSync_, &TimeSync::pointReached, this, &SerialPortDemoController::putDigitsInTubes);
    connect(&timeSync_, &TimeSync::pointReached, this, &SerialPortDemoController::pointWasReached);
    inBetween_.setTimerType(Qt::PreciseTimer);
    inBetween_.setSingleShot(true);
    connect(&inBetween_, &QTimer::timeout, this, &SerialPortDemoController::sendInBetweenFrame);
    connect(&timeSync_, &TimeSync::frameSent, this, [this](const QByteArray& bytes) {
        console_.didSend({reinterpret_cast<const std::uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size())});
    });
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
    timeSync_.refresh();
    emit shouldAddLineEndingChanged(add);
}

void SerialPortDemoController::setLeadMilliseconds(int milliseconds)
{
    const int before = leadMilliseconds();
    timeSync_.setLead(std::chrono::milliseconds(milliseconds));
    if (leadMilliseconds() != before) {
        emit leadMillisecondsChanged(leadMilliseconds());
    }
}

void SerialPortDemoController::setLineEndingPopUpButton(QComboBox* popUp)
{
    if (lineEndingPopUpButton_) {
        lineEndingPopUpButton_->disconnect(this);
    }
    lineEndingPopUpButton_ = popUp;
    if (popUp) {
        connect(popUp, &QComboBox::currentIndexChanged, this, [this] {
            timeSync_.refresh();
            emit lineEndingChanged();
        });
    }
}

void SerialPortDemoController::setTube(int index, QLineEdit* field)
{
    if (tubes_[index]) {
        tubes_[index]->disconnect(this);
    }
    tubes_[index] = field;
    hasTubeOutlets_ = hasTubeOutlets_ || field;
    if (field) {
        connect(field, &QLineEdit::textChanged, this, [this] { tubesWritten_ = true; });
    }
}

void SerialPortDemoController::setWell(int index, ColorWell* well)
{
    if (wells_[index]) {
        wells_[index]->disconnect(this);
    }
    wells_[index] = well;
    hasTubeOutlets_ = hasTubeOutlets_ || well;
    if (well) {
        connect(well, &ColorWell::colorChanged, this, [this] {
            timeSync_.refresh();
            emit tubeColoursChanged();
        });
    }
    timeSync_.refresh();
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
    timeSync_.setPort(serialPort_);
    console_.startNewStream();
    if (lineStatusWidget_) {
        lineStatusWidget_->setLines(LineStatusWidget::Lines::of(serialPort_));
    }
    // The previous port's closed callback no longer reaches the controller,
    // so the status would go on telling the old port's state.
    const bool open = serialPort_ && serialPort_->isOpen();
    status_.setProblem({});
    setPortState(!serialPort_ ? PortState::NoPort : open ? PortState::Open : PortState::Closed);
    emit serialPortChanged();
}

void SerialPortDemoController::portOpennessChanged(const std::shared_ptr<VELSerialPort>& port)
{
    if (!isCurrentPort(port)) {
        return;
    }
    const bool open = port->isOpen();
    if (open && portState() != PortState::Open) {
        setPortState(PortState::Open);
    } else if (!open && portState() == PortState::Open) {
        setPortState(PortState::Closed);
    }
}

void SerialPortDemoController::waitForPort(const QString& name)
{
    if (serialPort_) {
        setSerialPort(nullptr);
    }
    status_.setState(PortState::Waiting, name);
}

void SerialPortDemoController::setPortState(PortState state)
{
    status_.setState(state, serialPort_ ? QString::fromStdString(serialPort_->name()) : status_.portName());
}

void SerialPortDemoController::setProblem(const QString& problem)
{
    status_.setProblem(problem);
}

void SerialPortDemoController::setOpenCloseButton(QPushButton* button)
{
    openCloseButton_ = button;
    status_.setButton(button);
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
    if (!lineEndingPopUpButton_) {
        return ownLineEnding_;
    }
    if (lineEndingPopUpButton_->currentIndex() < 0) {
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

void SerialPortDemoController::setLineEndingString(const QString& ending)
{
    static const QStringList endings{QStringLiteral("\r"), QStringLiteral("\n"), QStringLiteral("\r\n")};
    const auto tag = endings.indexOf(ending);
    if (tag < 0) {
        return;
    }
    if (lineEndingPopUpButton_) {
        const int index = lineEndingPopUpButton_->findData(static_cast<int>(tag));
        if (index >= 0) {
            lineEndingPopUpButton_->setCurrentIndex(index);
        }
        return;
    }
    if (ending != ownLineEnding_) {
        ownLineEnding_ = ending;
        timeSync_.refresh();
        emit lineEndingChanged();
    }
}

std::optional<QString> SerialPortDemoController::frameString(QChar lead) const
{
    const auto colours = tubeColours();
    return colours ? frameStringColoured(lead, *colours) : std::nullopt;
}

QString SerialPortDemoController::withLineEnding(const QString& text) const
{
    if (shouldAddLineEnding_ && !text.endsWith(QLatin1Char('\n'))) {
        return text + lineEndingString();
    }
    return text;
}

void SerialPortDemoController::sendString(const QString& text)
{
    const QString outgoing = withLineEnding(text);
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
        console_.echo(data);
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
    alert.setInformativeText(tr("For More Help , please visit '%1'").arg(supportHost));
    alert.exec();
}

void SerialPortDemoController::tickDown()
{
    const DisplayComposer::Shown shown = shownAt(timeSync_.wallNow());
    putDigitsInTubes(shown.digits);
    previewColours(shown.colours);
    sendTimeFrame(frameStringColoured(QLatin1Char(ClockFrame::kTimeLead), shown.colours));
}

void SerialPortDemoController::putDigitsInTubes(const QString& digits)
{
    if (!hasTubeOutlets_) {
        tubesWritten_ = true;
    }
    for (int i = 0; i < tubeCount; ++i) {
        ownDigits_[i] = digits.mid(i, 1);
        if (tubes_[i]) {
            tubes_[i]->setText(digits.mid(i, 1));
        }
    }
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

void SerialPortDemoController::sendTimeFrame(const std::optional<QString>& frame)
{
    if (!frame) {
        return;
    }
    if (!frame->isValidUtf16()) {
        setProblem(tr("The tubes hold text that cannot be sent (a broken character); nothing was sent."));
        return;
    }
    if (!serialPort_) {
        return;
    }
    // Earlier bytes still waiting (a device that does not read, or flow
    // control holding the line): a time frame behind them would arrive
    // late, and a late time is worse than none. The tubes in the window
    // show the time all the same.
    const QByteArray bytes = withLineEnding(*frame).toUtf8();
    const std::span<const std::uint8_t> data(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                             static_cast<std::size_t>(bytes.size()));
    if (serialPort_->sendDataIfIdle(data)) {
        console_.didSend(data);
    }
}

void SerialPortDemoController::senddate()
{
    showWellColoursInTubes();
    const DisplayComposer::Shown shown = shownAt(timeSync_.wallNow());
    // Tubes that nobody wrote into still hold their initial zeros: the
    // clock would flash 00:00:00 until the first point.
    if (!tubesWritten_) {
        putDigitsInTubes(shown.digits);
    }
    previewColours(shown.colours);
    // The tubes' digits, lit as the display has them now (dark at night).
    sendTimeFrame(frameStringColoured(QLatin1Char(ClockFrame::kTimeLead), shown.colours));
    timeSync_.setPort(serialPort_);
    const bool wasSyncing = isSyncing();
    timeSync_.start();
    followDisplay();
    if (!wasSyncing) {
        emit syncingChanged(true);
    }
}

void SerialPortDemoController::stop()
{
    const bool wasSyncing = isSyncing();
    timeSync_.stop();
    followDisplay();
    if (wasSyncing) {
        emit syncingChanged(false);
    }
}

void SerialPortDemoController::save()
{
    sendFrame(frameString(QLatin1Char(ClockFrame::kSaveLead)));
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
        if (portState() == PortState::Waiting) {
            setPortState(PortState::Gone);
        }
        return;
    }
    if (serialPort_->isOpen()) {
        serialPort_->close();
        return;
    }
    reopenPort();
    // Also after a failed open: the view shows this opening's text or none.
    console_.clear();
}

void SerialPortDemoController::reopenPort()
{
    if (!serialPort_ || serialPort_->isOpen()) {
        return;
    }
    status_.setProblem({});
    setPortState(PortState::Opening);
    serialPort_->open();
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
        setPortState(PortState::Open);
    }
}

void SerialPortDemoController::serialPortWasClosed(const std::shared_ptr<VELSerialPort>& port)
{
    // The notice of an earlier close can arrive after the port has been
    // opened again (the window may choose it again in between): believe
    // the port rather than the notice.
    if (isCurrentPort(port)) {
        setPortState(port->isOpen() ? PortState::Open : PortState::Closed);
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
    status_.setState(PortState::Gone, name);
    emit portWentAway(tr("%1 went away (unplugged or hung up).").arg(QString::fromStdString(port->path())));
}

bool SerialPortDemoController::wasListed(const std::shared_ptr<VELSerialPort>& port) const
{
    if (hotPlug_.announcedRemovalOf(port)) {
        return true;
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
    status_.setProblem(message);
    if (portState() == PortState::Opening && !port->isOpen()) {
        setPortState(PortState::Closed);
        emit openFailed(message);
    }
}
