#include "Application.h"

#include <QCoreApplication>
#include <QDir>
#include <QScreen>
#include <QTimer>
#include <algorithm>
#include <iostream>

#include <sys/stat.h>

#include <QFile>
#include <cerrno>

#include "MainWindow.h"
#include "ui_MainWindow.h"
#include "ports/PortIdentity.h"
#include "ports/PortProblem.h"
#include "ports/ReconnectWatcher.h"
#include "remote/MqttBridge.h"
#include "remote/RemoteControlService.h"
#include "SerialPortDemoController.h"
#include "settings/SettingsKeeper.h"
#include "VELSerialPortManager.h"
#include "VELSerialPort.h"
#include "desktop/DesktopIdentity.h"
#include "virtualclock/VirtualClock.h"
#include "virtualclock/VirtualClockWindow.h"

Application::Application(VELSerialPortManager& manager, Presentation presentation, QObject* parent)
    : QObject(parent), manager_(manager), controller_(std::make_unique<SerialPortDemoController>(&manager))
{
    if (presentation == Presentation::Headless) {
        return;
    }
    window_ = std::make_unique<MainWindow>();
    window_->connectController(*controller_, manager);
    window_->setWindowIcon(DesktopIdentity::icon());
    appDelegate_.setWindow(window_.get());
}

Application::~Application()
{
    remoteControl_.reset();
    mqttBridge_.reset();
    if (settingsKeeper_) {
        settingsKeeper_->saveAll();
    }
    reconnectWatcher_.reset();
    // The port lets go of its device before the virtual clock takes the
    // device away: a port whose other end vanished under it waits out the
    // terminal's drain on the way out.
    controller_->setSerialPort(nullptr);
}

std::optional<Application::StartError> Application::start(const ApplicationOptions& options)
{
    // Nobody could press Open in a run without a window.
    const bool open = options.open || (options.headless && options.sync);
    const bool waits = options.wait || options.reconnects;
    std::shared_ptr<VELSerialPort> port;
    bool awaitPath = false;
    const bool pathAwaitable = options.portPath.isEmpty() || ReconnectWatcher::canAwaitPath(options.portPath);
    if (options.wait && !pathAwaitable) {
        std::cerr << "halodial: " << ReconnectWatcher::notAwaitedMessage(options.portPath).toStdString() << std::endl;
    }
    if (!options.portPath.isEmpty()) {
        port = VELSerialPort::initWithPath(options.portPath.toStdString());
        struct stat node {};
        const bool absent = ::stat(QFile::encodeName(options.portPath).constData(), &node) != 0;
        if (!port && absent && options.wait && pathAwaitable) {
            awaitPath = true;
        } else if (!port && options.headless && absent) {
            // No device to drive: the same words as any failed open, not a
            // usage error.
            return StartError{1, PortProblem::describe(errno, options.portPath)};
        } else if (!port) {
            return StartError{2, tr("no serial port at %1: not a serial device or pseudo-terminal")
                                     .arg(options.portPath)};
        }
    }
    if (options.open && !port && !awaitPath && !options.simulate) {
        return StartError{2, tr("--open needs a port: give --port PATH or --simulate")};
    }
    if (options.sync && !port && !awaitPath && !options.simulate && options.headless) {
        return StartError{2, tr("--sync without a window needs a port: give --port PATH or --simulate")};
    }
    if (options.simulate) {
        if (auto error = startVirtualClock()) {
            return error;
        }
        if (!port) {
            port = VELSerialPort::initWithPath(virtualClock_->devicePath().toStdString());
        }
    }
    if (waits) {
        reconnectWatcher_ = std::make_unique<ReconnectWatcher>(*controller_, &manager_);
        if (!options.portPath.isEmpty()) {
            reconnectWatcher_->setGivenPath(options.portPath, port);
        }
    }
    if (options.headless) {
        endRunOnPortFailure(waits);
    }
    std::optional<SettingsStore::Port> savedPort;
    bool syncWasRunning = false;
    if (options.remembersSettings) {
        settingsKeeper_ = std::make_unique<SettingsKeeper>(*controller_, options.headless ? nullptr : window_.get());
        if (options.resetSettings) {
            settingsKeeper_->store().clear();
        }
        syncWasRunning = settingsKeeper_->store().syncWasRunning();
        savedPort = settingsKeeper_->restore();
        if (options.colours) {
            settingsKeeper_->applyColours(*options.colours, options.coloursOneForAll);
        }
    }
    if (options.leadMilliseconds) {
        controller_->setLeadMilliseconds(*options.leadMilliseconds);
    }

    if (window_) {
        window_->show();
    } else {
        reportSystemClock();
    }
    if (virtualClockWindow_) {
        showVirtualClockWindow();
    }
    if (port) {
        controller_->setSerialPort(port);
    }
    if (open && port) {
        controller_->openOrClosePort();
    }
    if (options.sync) {
        controller_->senddate();
    }
    if (awaitPath) {
        reconnectWatcher_->waitForPath(options.portPath, options.sync);
    }
    // The command line's port, or the virtual clock's, is this run's; else
    // the last run's comes back.
    if (savedPort && options.portPath.isEmpty() && !options.simulate &&
        !restoreSession(savedPort->identity, savedPort->name, savedPort->path, syncWasRunning) && options.headless &&
        !waits) {
        // Without a window nobody could choose another port, and without
        // --wait nothing waits for this one.
        return StartError{1, PortProblem::describe(ENOENT, savedPort->path)};
    }
    if (options.remoteControl) {
        RemoteControlObject::Activator activator;
        if (window_) {
            activator = [this](const QString& portPath, bool open, bool sync) { return activate(portPath, open, sync); };
        }
        remoteControl_ = std::make_unique<RemoteControlService>(*controller_, std::move(activator));
        remoteControl_->start();
    }
    if (options.mqtt) {
        mqttBridge_ = std::make_unique<MqttBridge>(*controller_, *options.mqtt);
        mqttBridge_->start();
    }
    if (!options.screenshotDirectory.isEmpty() && window_) {
        QTimer::singleShot(screenshotDelay, this,
                           [this, directory = options.screenshotDirectory] { saveScreenshotsAndQuit(directory); });
    }
    return std::nullopt;
}

QString Application::activate(const QString& portPath, bool open, bool sync)
{
    if (!portPath.isEmpty()) {
        auto port = VELSerialPort::initWithPath(portPath.toStdString());
        if (!port) {
            return tr("no serial port at %1: not a serial device or pseudo-terminal").arg(portPath);
        }
        if (port != controller_->serialPort()) {
            controller_->setSerialPort(port);
        }
    }
    window_->show();
    window_->raise();
    window_->activateWindow();
    const auto port = controller_->serialPort();
    if (open && port && !port->isOpen()) {
        controller_->openOrClosePort();
    }
    if (sync) {
        controller_->senddate();
    }
    return {};
}

bool Application::restoreSession(const QString& identity, const QString& name, const QString& path,
                                 bool syncWasRunning)
{
    // A pseudo-terminal's number means nothing after the run that used it.
    if (identity.startsWith(QLatin1String("path:/dev/pts/"))) {
        return false;
    }
    auto port = PortIdentity::findIn(manager_.availablePorts(), identity);
    if (!port && identity.startsWith(QLatin1String("path:"))) {
        port = VELSerialPort::initWithPath(path.toStdString());
    }
    if (port) {
        controller_->setSerialPort(port);
        if (syncWasRunning) {
            controller_->openOrClosePort();
            controller_->senddate();
        }
        return true;
    }
    // Not here now: the sync that was running waits for it.
    if (syncWasRunning && reconnectWatcher_) {
        reconnectWatcher_->waitForIdentity(identity, name, true);
        controller_->senddate();
        return true;
    }
    return false;
}

std::optional<Application::StartError> Application::startVirtualClock()
{
    virtualClock_ = std::make_unique<VirtualClock>();
    if (!virtualClock_->isPluggedIn()) {
        const QString reason = virtualClock_->errorString();
        virtualClock_.reset();
        return StartError{1, tr("cannot create the virtual clock: %1").arg(reason)};
    }
    if (!window_) {
        return std::nullopt;
    }
    virtualClockWindow_ = std::make_unique<VirtualClockWindow>(*virtualClock_);
    // The clock's window belongs to the main one: it neither keeps the run
    // going alone nor stays behind when the main window closes.
    virtualClockWindow_->setAttribute(Qt::WA_QuitOnClose, false);
    connect(window_.get(), &MainWindow::closed, virtualClockWindow_.get(), &QWidget::close);
    return std::nullopt;
}

void Application::endRunOnPortFailure(bool waits)
{
    // Queued: a failure during start comes before the event loop runs, and
    // an exit asked for then would be lost. While the port is awaited, the
    // run goes on, and a failure said once is not repeated at each retry.
    const auto fail = [this](const QString& message) {
        const bool awaited = reconnectWatcher_ && reconnectWatcher_->isWaiting();
        if (!awaited || message != lastFailure_) {
            std::cerr << "halodial: " << message.toStdString() << std::endl;
        }
        lastFailure_ = message;
        if (awaited) {
            return;
        }
        QMetaObject::invokeMethod(QCoreApplication::instance(), [] { QCoreApplication::exit(1); },
                                  Qt::QueuedConnection);
    };
    connect(controller_.get(), &SerialPortDemoController::openFailed, this, fail);
    connect(controller_.get(), &SerialPortDemoController::portWentAway, this, fail);
    if (waits) {
        connect(controller_.get(), &SerialPortDemoController::statusChanged, this, [this](const QString& text) {
            if (controller_->portState() == SerialPortDemoController::PortState::Waiting && text != lastFailure_) {
                lastFailure_ = text;
                std::cerr << "halodial: " << text.toStdString() << std::endl;
            }
        });
    }
}

void Application::reportSystemClock()
{
    // Without a window the clock area's line goes to standard error when
    // the computer's time becomes synchronised or stops being so.
    SystemClockWatch& clock = controller_->systemClock();
    connect(&clock, &SystemClockWatch::synchronisedChanged, this,
            [&clock] { std::cerr << "halodial: " << clock.text().toStdString() << std::endl; });
}

void Application::showVirtualClockWindow()
{
    // Beside the main window, on the right where the screen has room.
    const QRect main = window_->frameGeometry();
    QPoint position = main.topRight() + QPoint(16, 0);
    if (const QScreen* screen = window_->screen()) {
        const QRect available = screen->availableGeometry();
        const int width = virtualClockWindow_->sizeHint().width();
        if (position.x() + width > available.right()) {
            position.setX(std::max(available.left(), available.right() - width));
        }
    }
    virtualClockWindow_->move(position);
    virtualClockWindow_->show();
}

void Application::saveScreenshotsAndQuit(const QString& directory)
{
    bool saved = QDir().mkpath(directory);
    const QDir target(directory);
    saved = saved && window_->grab().save(target.filePath(QStringLiteral("main-window.png")));
    if (virtualClockWindow_) {
        saved = saved && virtualClockWindow_->grab().save(target.filePath(QStringLiteral("virtual-clock.png")));
    }
    if (!saved) {
        std::cerr << "halodial: cannot save the screenshots in " << directory.toStdString() << std::endl;
        QCoreApplication::exit(1);
        return;
    }
    // The console in hex view, with something in it: the clock's answer to
    // a save frame.
    controller_->save();
    QTimer::singleShot(consoleScreenshotDelay, this, [this, target] {
        window_->ui().timestampsCheckBox->setChecked(true);
        window_->ui().hexViewCheckBox->setChecked(true);
        const bool hexSaved = window_->grab().save(target.filePath(QStringLiteral("console-hex.png")));
        if (!hexSaved) {
            std::cerr << "halodial: cannot save the screenshots in " << target.path().toStdString() << std::endl;
        }
        QCoreApplication::exit(hexSaved ? 0 : 1);
    });
}
