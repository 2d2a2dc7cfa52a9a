#pragma once

#include <QMainWindow>
#include <memory>

namespace Ui {
class MainWindow;
}

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

    // What loading a window does for its controller: every outlet property
    // of the controller gets the control of the same name ("win" the window
    // itself), the controls' actions call the controller, and the port
    // selector, the baud rates and the line-ending switch follow it. The
    // controller must outlive the window or go first; neither owns the other.
    void connectController(SerialPortDemoController& controller, VELSerialPortManager& manager);

private:
    void connectOutlets(SerialPortDemoController& controller);
    void connectActions(SerialPortDemoController& controller);
    void bindBaudRates(SerialPortDemoController& controller);
    void bindLineEndingSwitch(SerialPortDemoController& controller);

    std::unique_ptr<Ui::MainWindow> ui_;
};
