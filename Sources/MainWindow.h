#pragma once

#include <QMainWindow>
#include <QPointer>
#include <memory>

class QLabel;
class WindowMenus;
class PortLineSettings;

namespace Ui {
class MainWindow;
}

class DisplayDialog;
class SerialPortDemoController;
class VELSerialPortManager;

// Halodial's window, laid out in MainWindow.ui: the port row, the six tubes
// with their colour wells, and the console.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    Ui::MainWindow& ui() { return *ui_; }
    // The status line: the current port's state and the last problem.
    QLabel* statusLine() const { return statusLine_; }
    // Beside it, the console's part: where it logs, and a malformed hex byte.
    QLabel* loggingStatus() const { return loggingStatus_; }
    QLabel* inputNote() const { return inputNote_; }
    // "Syncing" while the time sync runs.
    QLabel* syncStatus() const { return syncStatus_; }
    // The ports' line settings; connectController() makes them.
    PortLineSettings* lineSettings() const { return lineSettings_; }

    // What loading a window does for its controller: every outlet property
    // of the controller gets the control of the same name ("win" the window
    // itself), the controls' actions call the controller, and the port
    // selector, the baud rates and the line-ending switch follow it. The
    // controller must outlive the window or go first; neither owns the other.
    void connectController(SerialPortDemoController& controller, VELSerialPortManager& manager);

    // The Display dialog, made on first use; none before connectController.
    DisplayDialog* displayDialog() const;

public slots:
    // Opens the Display dialog (or raises it): what the tubes show, set
    // live on the connected controller.
    void showDisplayDialog();

signals:
    // The window was closed (by the user or the program).
    void closed();
    // The user asked for the MQTT dialog (File menu); the application,
    // which owns the MQTT client, answers it.
    void mqttSettingsRequested();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void connectOutlets(SerialPortDemoController& controller);
    void connectActions(SerialPortDemoController& controller);
    void bindBaudRates(SerialPortDemoController& controller);
    void bindSyncInfo(SerialPortDemoController& controller);
    void bindLineEndingSwitch(SerialPortDemoController& controller);
    void bindStatus(SerialPortDemoController& controller);
    void bindConsole(SerialPortDemoController& controller);
    void bindDisplay(SerialPortDemoController& controller);
    void chooseLogFile(SerialPortDemoController& controller);
    void editLineSettings(SerialPortDemoController& controller);
    void nameControls();

    std::unique_ptr<Ui::MainWindow> ui_;
    QLabel* statusLine_ = nullptr;
    QLabel* inputNote_ = nullptr;
    QLabel* loggingStatus_ = nullptr;
    QLabel* syncStatus_ = nullptr;
    WindowMenus* menus_ = nullptr;
    PortLineSettings* lineSettings_ = nullptr;
    QPointer<SerialPortDemoController> controller_;
    QPointer<DisplayDialog> displayDialog_;
};
