#pragma once

#include <QMainWindow>
#include <memory>

namespace Ui {
class MainWindow;
}

// The main window, laid out in MainWindow.ui.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    Ui::MainWindow& ui() { return *ui_; }

private:
    std::unique_ptr<Ui::MainWindow> ui_;
};
