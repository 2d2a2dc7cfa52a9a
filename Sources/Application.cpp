#include "Application.h"

#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <algorithm>
#include <array>
#include <iostream>

#include <sys/stat.h>

#include <QFile>
#include <cerrno>

#include "MainWindow.h"
#include "ui_MainWindow.h"
#include "ports/PortIdentity.h"
#include "ports/PortLineSettings.h"
#include "ports/PortProblem.h"
#include "ports/ReconnectWatcher.h"
#include "remote/MqttBridge.h"
#include "remote/MqttDialog.h"
#include "remote/RemoteControlService.h"
#include "SerialPortDemoController.h"
#include "settings/SettingsKeeper.h"
#include "display/DisplayDialog.h"
#include "display/DisplayText.h"
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
        // The keeper goes before the window does.
        if (window_) {
            window_->lineSettings()->setStorage({}, {});
        }
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
    if (options.headless) {
        // Connected before the watcher is: a device that went away is said
        // before the line that it is awaited.
        connect(controller_.get(), &SerialPortDemoController::portWentAway, this, [this](const QString& message) {
            std::cerr << "halodial: " << message.toStdString() << std::endl;
            lastFailure_ = message;
        });
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
        if (!options.portPath.isEmpty()) {
            settingsKeeper_->setGivenPath(options.portPath);
        }
        if (window_) {
            settingsKeeper_->keepLineSettings(*window_->lineSettings());
        }
        savedPort = settingsKeeper_->restore();
        if (options.colours) {
            settingsKeeper_->applyColours(*options.colours, options.coloursOneForAll);
        }
    }
    if (options.leadMilliseconds) {
        controller_->setLeadMilliseconds(*options.leadMilliseconds);
    }
    if (!options.display.isEmpty()) {
        // Checked by the command line already; the keeper saves the change.
        DisplaySettings display = controller_->displaySettings();
        for (const auto& [key, value] : options.display) {
            DisplayText::apply(key, value, display);
        }
        controller_->setDisplaySettings(display);
    }
    if (options.countdownFor) {
        controller_->startCountdown(*options.countdownFor);
    } else if (options.countdownTo) {
        controller_->startCountdownTo(*options.countdownTo);
    }

    if (window_) {
        fitWindowToScreen();
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
    } else if (options.simulate && syncWasRunning && port) {
        // The virtual clock stands in for the last run's port: the sync
        // that was running goes on, on it.
        if (!open) {
            controller_->openOrClosePort();
        }
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
    startMqtt(options.mqtt);
    if (window_) {
        connect(window_.get(), &MainWindow::mqttSettingsRequested, this, &Application::showMqttDialog);
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
    const auto fail = [this](const QString& message, bool said) {
        const bool awaited = reconnectWatcher_ && reconnectWatcher_->isWaiting();
        if (!said && (!awaited || message != lastFailure_)) {
            std::cerr << "halodial: " << message.toStdString() << std::endl;
        }
        lastFailure_ = message;
        if (awaited) {
            return;
        }
        QMetaObject::invokeMethod(QCoreApplication::instance(), [] { QCoreApplication::exit(1); },
                                  Qt::QueuedConnection);
    };
    connect(controller_.get(), &SerialPortDemoController::openFailed, this,
            [fail](const QString& message) { fail(message, false); });
    // Said already, as it happened (see start()).
    connect(controller_.get(), &SerialPortDemoController::portWentAway, this,
            [fail](const QString& message) { fail(message, true); });
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
    // And what the window's status bar would say of a countdown.
    connect(controller_.get(), &SerialPortDemoController::countdownFinished, this, [] {
        std::cerr << "halodial: " << QCoreApplication::translate("MainWindow", "Countdown finished").toStdString()
                  << std::endl;
    });
}

void Application::fitWindowToScreen()
{
    // A screen of 800×600, or 1600×1000 at 200 %, is smaller than the
    // window's first size (or one remembered from a larger screen): the
    // window takes what there is, less room for the title bar, and its
    // layout does the rest down to its minimum.
    const QScreen* screen = window_->screen();
    if (!screen) {
        return;
    }
    constexpr int titleBar = 32;
    const QSize room = screen->availableGeometry().size() - QSize(0, titleBar);
    const QSize fitted = window_->size().boundedTo(room).expandedTo(window_->minimumSizeHint());
    if (fitted != window_->size()) {
        window_->resize(fitted);
    }
    QRect where = window_->geometry();
    const QRect available = screen->availableGeometry();
    if (!available.contains(where)) {
        where.moveTopLeft(available.topLeft() + QPoint(0, titleBar));
        window_->move(where.topLeft());
    }
}

void Application::showVirtualClockWindow()
{
    // Beside the main window, never over its controls (Open, Sync and Save
    // are what a user presses next): on the right where the screen has
    // room, else on the left, else below; on a screen too small for any,
    // past the right edge, where the user can drag it in.
    virtualClockWindow_->adjustSize();
    const QRect main = window_->frameGeometry();
    const QSize size = virtualClockWindow_->frameGeometry().size();
    constexpr int gap = 16;
    const std::array<QPoint, 3> places{main.topRight() + QPoint(gap, 0),
                                       main.topLeft() - QPoint(gap + size.width(), 0),
                                       main.bottomLeft() + QPoint(0, gap)};
    QPoint position = places.front();
    if (const QScreen* screen = window_->screen()) {
        const QRect available = screen->availableGeometry();
        for (const QPoint& place : places) {
            if (available.contains(QRect(place, size))) {
                position = place;
                break;
            }
        }
    }
    virtualClockWindow_->move(position);
    virtualClockWindow_->show();
}

bool Application::saveMenusAndLineSettings(const QDir& target)
{
    // The menus side by side, as each drops down.
    QList<QPixmap> menus;
    for (QAction* entry : window_->menuBar()->actions()) {
        if (QMenu* menu = entry->menu()) {
            menu->ensurePolished();
            menu->adjustSize();
            menus << menu->grab();
        }
    }
    int width = 0;
    int height = 0;
    for (const QPixmap& menu : menus) {
        width += menu.width();
        height = std::max(height, menu.height());
    }
    QPixmap strip(width, height);
    strip.fill(window_->palette().color(QPalette::Window));
    QPainter painter(&strip);
    int x = 0;
    for (const QPixmap& menu : menus) {
        painter.drawPixmap(x, 0, menu);
        x += menu.width();
    }
    painter.end();
    bool saved = strip.save(target.filePath(QStringLiteral("menus.png")));
    window_->ui().lineSettingsButton->click();
    if (auto* dialog = window_->findChild<QDialog*>(QStringLiteral("LineSettingsDialog"))) {
        dialog->adjustSize();
        saved = dialog->grab().save(target.filePath(QStringLiteral("line-settings.png"))) && saved;
        dialog->reject();
    }
    return saved;
}

void Application::saveScreenshotsAndQuit(const QString& directory)
{
    bool saved = QDir().mkpath(directory);
    const QDir target(directory);
    saved = saved && window_->grab().save(target.filePath(QStringLiteral("main-window.png")));
    if (virtualClockWindow_) {
        saved = saved && virtualClockWindow_->grab().save(target.filePath(QStringLiteral("virtual-clock.png")));
    }
    window_->showDisplayDialog();
    // Its layout settles in the events that its first show posts.
    QCoreApplication::processEvents();
    saved = saved && window_->displayDialog()->grab().save(target.filePath(QStringLiteral("display-dialog.png")));
    window_->displayDialog()->close();
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
        const bool hexSaved = window_->grab().save(target.filePath(QStringLiteral("console-hex.png"))) &&
                              saveMenusAndLineSettings(target);
        if (!hexSaved) {
            std::cerr << "halodial: cannot save the screenshots in " << target.path().toStdString() << std::endl;
        }
        QCoreApplication::exit(hexSaved ? 0 : 1);
    });
}

void Application::startMqtt(const std::optional<MqttSettings>& given)
{
    mqttBridge_.reset();
    std::optional<MqttSettings> settings = given;
    if (!settings && settingsKeeper_) {
        if (const auto choice = settingsKeeper_->store().mqttChoice()) {
            auto remembered = MqttSettings::fromChoice(*choice);
            if (const QString* problem = std::get_if<QString>(&remembered)) {
                std::cerr << "halodial: MQTT: " << problem->toStdString() << std::endl;
            } else {
                settings = std::get<MqttSettings>(remembered);
            }
        }
    }
    if (settings) {
        mqttBridge_ = std::make_unique<MqttBridge>(*controller_, *settings);
        mqttBridge_->start();
    }
}

void Application::showMqttDialog()
{
    if (auto* open = window_->findChild<MqttDialog*>(); open) {
        open->raise();
        open->activateWindow();
        return;
    }
    auto* dialog = new MqttDialog(window_.get());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    if (settingsKeeper_) {
        dialog->setChoice(settingsKeeper_->store().mqttChoice().value_or(MqttSettings::Choice{}));
    }
    connect(dialog, &MqttDialog::chosen, this,
            [this](const MqttSettings::Choice& choice, const std::optional<MqttSettings>& settings) {
                if (settingsKeeper_) {
                    settingsKeeper_->store().setMqttChoice(choice);
                    settingsKeeper_->store().sync();
                }
                mqttBridge_.reset();
                if (settings) {
                    startMqtt(settings);
                }
            });
    dialog->open();
}
