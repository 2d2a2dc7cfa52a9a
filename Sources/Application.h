#pragma once

#include <QObject>
#include <QString>
#include <chrono>
#include <memory>
#include <optional>

#include "AppDelegate.h"
#include "ApplicationOptions.h"

class MainWindow;
class QDir;
class MqttBridge;
class ReconnectWatcher;
class RemoteControlService;
class SerialPortDemoController;
class SettingsKeeper;
class VELSerialPortManager;
class VirtualClock;
class VirtualClockWindow;

// Everything a Halodial run consists of besides the QApplication: the
// application delegate, the main window and its controller, connected to
// each other, and with --simulate the virtual clock and its window. The
// process entry builds one; tests build one the same way to drive the whole
// application in-process.
class Application : public QObject {
    Q_OBJECT

public:
    struct StartError {
        int exitStatus;
        QString message;
    };

    // How long after start the screenshots are taken: the first frames of a
    // sync have arrived and both windows have been laid out by then.
    static constexpr std::chrono::milliseconds screenshotDelay{2000};
    // Then how long the clock has to answer a save before the console's
    // hex view is taken.
    static constexpr std::chrono::milliseconds consoleScreenshotDelay{700};

    // With a window, or without one (--headless): then only the controller
    // and its clock and port classes are built, its outlets stay absent,
    // and nothing is laid out or drawn.
    enum class Presentation { Window, Headless };

    // Needs the QApplication and the library's main queue in place.
    explicit Application(VELSerialPortManager& manager, Presentation presentation = Presentation::Window,
                         QObject* parent = nullptr);
    ~Application() override;

    // Shows the windows and does what the options ask. An error leaves
    // nothing shown and nothing opened.
    std::optional<StartError> start(const ApplicationOptions& options);

    AppDelegate& appDelegate() { return appDelegate_; }
    SerialPortDemoController& controller() { return *controller_; }
    // The window; a headless run has none.
    MainWindow& window() { return *window_; }
    bool hasWindow() const { return window_ != nullptr; }
    // Null unless the options asked for them.
    ReconnectWatcher* reconnectWatcher() const { return reconnectWatcher_.get(); }
    SettingsKeeper* settingsKeeper() const { return settingsKeeper_.get(); }
    // Null unless simulating.
    VirtualClock* virtualClock() const { return virtualClock_.get(); }
    VirtualClockWindow* virtualClockWindow() const { return virtualClockWindow_.get(); }
    // Null unless the options asked for it.
    RemoteControlService* remoteControl() const { return remoteControl_.get(); }
    // Null without MQTT (neither --mqtt nor a broker chosen in the window).
    MqttBridge* mqttBridge() const { return mqttBridge_.get(); }

private:
    std::optional<StartError> startVirtualClock();
    // Without a window nobody would see a failed open or a vanished device:
    // say it on standard error and end the run with status 1.
    void endRunOnPortFailure(bool waits);
    // The port and sync of the last run, when the command line names none.
    // False when the port is not there and nothing waits for it.
    bool restoreSession(const QString& identity, const QString& name, const QString& path, bool syncWasRunning);
    void fitWindowToScreen();
    void showVirtualClockWindow();
    void reportSystemClock();
    void saveScreenshotsAndQuit(const QString& directory);
    // The menus in one picture (menus.png) and the line settings dialog
    // (line-settings.png); false when either could not be saved.
    bool saveMenusAndLineSettings(const QDir& target);
    // A second start's request, sent over D-Bus: the window comes to the
    // front and takes its port, open and sync. Empty, or what is wrong.
    QString activate(const QString& portPath, bool open, bool sync);
    // The MQTT broker of --mqtt, else the one chosen in the window last
    // time; a remembered choice that no longer holds (a credentials file
    // gone or opened up) is said on standard error and left unused.
    void startMqtt(const std::optional<MqttSettings>& given);
    // The window's MQTT dialog: a new choice replaces the client and is
    // remembered.
    void showMqttDialog();

    VELSerialPortManager& manager_;
    AppDelegate appDelegate_;
    std::unique_ptr<SerialPortDemoController> controller_;
    std::unique_ptr<MainWindow> window_;
    std::unique_ptr<VirtualClock> virtualClock_;
    std::unique_ptr<VirtualClockWindow> virtualClockWindow_;
    std::unique_ptr<ReconnectWatcher> reconnectWatcher_;
    std::unique_ptr<SettingsKeeper> settingsKeeper_;
    std::unique_ptr<RemoteControlService> remoteControl_;
    std::unique_ptr<MqttBridge> mqttBridge_;
    QString lastFailure_;
};
