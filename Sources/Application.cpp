#include "Application.h"

#include <QCoreApplication>
#include <QDir>
#include <QScreen>
#include <QTimer>
#include <algorithm>
#include <iostream>

#include "MainWindow.h"
#include "SerialPortDemoController.h"
#include "VELSerialPort.h"
#include "desktop/DesktopIdentity.h"
#include "virtualclock/VirtualClock.h"
#include "virtualclock/VirtualClockWindow.h"

Application::Application(VELSerialPortManager& manager, QObject* parent)
    : QObject(parent),
      controller_(std::make_unique<SerialPortDemoController>(&manager)),
      window_(std::make_unique<MainWindow>())
{
    window_->connectController(*controller_, manager);
    window_->setWindowIcon(DesktopIdentity::icon());
    appDelegate_.setWindow(window_.get());
}

Application::~Application() = default;

std::optional<Application::StartError> Application::start(const ApplicationOptions& options)
{
    std::shared_ptr<VELSerialPort> port;
    if (!options.portPath.isEmpty()) {
        port = VELSerialPort::initWithPath(options.portPath.toStdString());
        if (!port) {
            return StartError{2, tr("no serial port at %1: not a serial device or pseudo-terminal")
                                     .arg(options.portPath)};
        }
    }
    if (options.open && !port && !options.simulate) {
        return StartError{2, tr("--open needs a port: give --port PATH or --simulate")};
    }
    if (options.simulate) {
        if (auto error = startVirtualClock()) {
            return error;
        }
        if (!port) {
            port = VELSerialPort::initWithPath(virtualClock_->devicePath().toStdString());
        }
    }

    window_->show();
    if (virtualClockWindow_) {
        showVirtualClockWindow();
    }
    if (port) {
        controller_->setSerialPort(port);
    }
    if (options.open) {
        controller_->openOrClosePort();
    }
    if (options.sync) {
        controller_->senddate();
    }
    if (!options.screenshotDirectory.isEmpty()) {
        QTimer::singleShot(screenshotDelay, this,
                           [this, directory = options.screenshotDirectory] { saveScreenshotsAndQuit(directory); });
    }
    return std::nullopt;
}

std::optional<Application::StartError> Application::startVirtualClock()
{
    virtualClock_ = std::make_unique<VirtualClock>();
    if (!virtualClock_->isPluggedIn()) {
        const QString reason = virtualClock_->errorString();
        virtualClock_.reset();
        return StartError{1, tr("cannot create the virtual clock: %1").arg(reason)};
    }
    virtualClockWindow_ = std::make_unique<VirtualClockWindow>(*virtualClock_);
    return std::nullopt;
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
    }
    QCoreApplication::exit(saved ? 0 : 1);
}
