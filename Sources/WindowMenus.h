#pragma once

#include <QObject>

class QAction;
class QMainWindow;
class QMenuBar;
class SerialPortDemoController;

namespace Ui {
class MainWindow;
}

// The window's menu bar: File, Port, Clock, View and Help, carrying every
// action of the window's buttons and switches with its shortcut. The menu
// items and the controls they stand for stay in step both ways: a switch
// ticked in the window is ticked in its menu and the other way round, and
// the Open/Close item reads as the button does. GUI thread; the window owns
// the menus, and the controller must outlive them.
class WindowMenus : public QObject {
    Q_OBJECT

public:
    WindowMenus(QMainWindow& window, Ui::MainWindow& ui, SerialPortDemoController& controller);

    // Ask the window for what the menus cannot do themselves.
    QAction* log() const { return log_; }
    QAction* lineSettings() const { return lineSettings_; }
    QAction* mqtt() const { return mqtt_; }
    QAction* manual() const { return manual_; }
    QAction* about() const { return about_; }

private:
    void buildFileMenu(QMenuBar& bar);
    void buildPortMenu(QMenuBar& bar, SerialPortDemoController& controller);
    void buildClockMenu(QMenuBar& bar, SerialPortDemoController& controller);
    void buildViewMenu(QMenuBar& bar);
    void buildHelpMenu(QMenuBar& bar, SerialPortDemoController& controller);

    Ui::MainWindow& ui_;
    QAction* log_ = nullptr;
    QAction* lineSettings_ = nullptr;
    QAction* mqtt_ = nullptr;
    QAction* manual_ = nullptr;
    QAction* about_ = nullptr;
};
