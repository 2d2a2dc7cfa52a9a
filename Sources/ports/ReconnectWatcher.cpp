#include "ports/ReconnectWatcher.h"

#include <sys/stat.h>

#include <QFile>
#include <QFileInfo>
#include <iostream>

#include "ports/PortIdentity.h"
#include "ports/PortProblem.h"
#include "VELSerialPort.h"
#include "VELSerialPortManager.h"
#include "support/NotificationCenter.h"

ReconnectWatcher::ReconnectWatcher(SerialPortDemoController& controller, VELSerialPortManager* manager,
                                   QObject* parent)
    : QObject(parent), controller_(&controller), manager_(manager)
{
    poll_.setInterval(pollInterval);
    connect(&poll_, &QTimer::timeout, this, &ReconnectWatcher::look);
    connect(&controller, &SerialPortDemoController::serialPortChanged, this, &ReconnectWatcher::currentPortChanged);
    connect(&controller, &SerialPortDemoController::portWentAway, this, &ReconnectWatcher::portWentAway);
    connect(&controller, &SerialPortDemoController::openFailed, this, &ReconnectWatcher::openFailed);
    connect(&controller, &SerialPortDemoController::portStateChanged, this, &ReconnectWatcher::stateChanged);
    // Queued: the notification centre's delivery must not run a reopen
    // within the port manager's own bookkeeping.
    const auto lookSoon = [this](const vel::Notification&) {
        QMetaObject::invokeMethod(this, &ReconnectWatcher::look, Qt::QueuedConnection);
    };
    auto& notifications = vel::NotificationCenter::defaultCenter();
    notifications.addObserver(this, VELSerialPortsWereConnectedNotification, nullptr, lookSoon);
    notifications.addObserver(this, VELSerialPortsWereDisconnectedNotification, nullptr, lookSoon);
    currentPortChanged();
}

ReconnectWatcher::~ReconnectWatcher()
{
    vel::NotificationCenter::defaultCenter().removeObserver(this);
}

void ReconnectWatcher::setGivenPath(const QString& path, const std::shared_ptr<VELSerialPort>& portFromPath)
{
    givenPath_ = path;
    portFromPath_ = portFromPath;
    currentPortChanged();
}

bool ReconnectWatcher::canAwaitPath(const QString& path)
{
    const QFileInfo info(path);
    return info.isSymLink() || !info.absoluteFilePath().startsWith(QLatin1String("/dev/pts/"));
}

QString ReconnectWatcher::notAwaitedMessage(const QString& path)
{
    return tr("%1 is a pseudo-terminal named by its number, which the system hands to the next terminal made, "
              "perhaps someone else's: it is not waited for. Give a symbolic link to it instead (socat's link=).")
        .arg(path);
}

void ReconnectWatcher::waitForPath(const QString& path, bool resumeSync)
{
    givenPath_ = path;
    if (!canAwaitPath(path)) {
        return;
    }
    byPath_ = true;
    resumeSync_ = resumeSync;
    startWaiting(path);
}

void ReconnectWatcher::waitForIdentity(const QString& identity, const QString& name, bool resumeSync)
{
    byPath_ = false;
    identity_ = identity;
    resumeSync_ = resumeSync;
    startWaiting(name);
}

void ReconnectWatcher::currentPortChanged()
{
    const auto port = controller_ ? controller_->serialPort() : nullptr;
    if (!port) {
        return;
    }
    if (waiting_ && port != reopening_) {
        // The user chose another port.
        stopWaiting();
    }
    current_ = port;
    currentIdentity_ = PortIdentity::of(port);
    currentName_ = QString::fromStdString(port->name());
    currentFromPath_ = !givenPath_.isEmpty() && port == portFromPath_.lock();
}

void ReconnectWatcher::portWentAway()
{
    if (!controller_ || currentIdentity_.isEmpty()) {
        return;
    }
    if (currentFromPath_ && !canAwaitPath(givenPath_)) {
        return;  // said at start
    }
    resumeSync_ = controller_->timer() && controller_->timer()->isActive();
    reopening_.reset();
    byPath_ = currentFromPath_;
    identity_ = currentIdentity_;
    startWaiting(byPath_ ? givenPath_ : currentName_);
}

void ReconnectWatcher::openFailed()
{
    if (!reopening_) {
        return;
    }
    // Back so soon that the node is there but not yet usable (udev still
    // setting its group), or gone again: look again on the next poll.
    reopening_.reset();
    controller_->waitForPort(byPath_ ? givenPath_ : currentName_);
}

void ReconnectWatcher::stateChanged(SerialPortDemoController::PortState state)
{
    using State = SerialPortDemoController::PortState;
    if (reopening_ && state == State::Open) {
        const bool resume = resumeSync_;
        reopening_.reset();
        stopWaiting();
        if (resume) {
            controller_->senddate();
        }
        return;
    }
    if (waiting_ && !reopening_ && state == State::Gone) {
        // Close pressed while waiting: the controller says the port is gone.
        stopWaiting();
    }
}

void ReconnectWatcher::startWaiting(const QString& shownName)
{
    waiting_ = true;
    if (controller_) {
        controller_->waitForPort(shownName);
    }
    poll_.start();
    QMetaObject::invokeMethod(this, &ReconnectWatcher::look, Qt::QueuedConnection);
}

void ReconnectWatcher::stopWaiting()
{
    waiting_ = false;
    reopening_.reset();
    poll_.stop();
}

void ReconnectWatcher::look()
{
    if (!waiting_ || reopening_ || !controller_) {
        return;
    }
    std::shared_ptr<VELSerialPort> port;
    if (byPath_) {
        port = portAtGivenPath();
    } else if (manager_) {
        port = PortIdentity::findIn(manager_->availablePorts(), identity_);
    }
    if (port) {
        reconnectTo(port);
    }
}

std::shared_ptr<VELSerialPort> ReconnectWatcher::portAtGivenPath() const
{
    struct stat node {};
    if (::stat(QFile::encodeName(givenPath_).constData(), &node) != 0 || !S_ISCHR(node.st_mode)) {
        return nullptr;
    }
    // In use by another process: someone's terminal or program, not the
    // clock that went (whose other end holds no path of it).
    if (PortProblem::holderOf(givenPath_)) {
        return nullptr;
    }
    auto port = VELSerialPort::initWithPath(givenPath_.toStdString());
    // A path that is no link may name another device now (ttyUSB0 goes to
    // whichever adapter comes first): only the one that went, when it had
    // an identity of its own.
    const bool identified = !identity_.isEmpty() && !identity_.startsWith(QLatin1String("path:"));
    if (port && identified && !QFileInfo(givenPath_).isSymLink() && PortIdentity::of(port) != identity_) {
        return nullptr;
    }
    return port;
}

void ReconnectWatcher::reconnectTo(const std::shared_ptr<VELSerialPort>& port)
{
    std::cout << "Port " << port->name() << " (" << port->path() << ") is back; reopening it" << std::endl;
    reopening_ = port;
    if (byPath_) {
        portFromPath_ = port;
    }
    controller_->setSerialPort(port);
    if (!port->isOpen()) {
        // What the device said before it went stays readable.
        controller_->reopenPort();
    } else {
        stateChanged(SerialPortDemoController::PortState::Open);
    }
    emit reconnected(port);
}
