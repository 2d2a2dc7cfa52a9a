#pragma once

#include <QDialog>
#include <QTime>
#include <chrono>
#include <memory>

#include "display/DisplaySettings.h"

namespace Ui {
class DisplayDialog;
}

// The Display dialog (DisplayDialog.ui): every display setting as a control,
// and the countdown's start and stop. It holds no settings of its own: each
// change the user makes is told at once as the whole new settings
// (settingsEdited), so that the tubes preview it live; setSettings fills the
// controls without telling anything back. GUI thread.
class DisplayDialog : public QDialog {
    Q_OBJECT

public:
    explicit DisplayDialog(QWidget* parent = nullptr);
    ~DisplayDialog() override;

    Ui::DisplayDialog& ui() { return *ui_; }

    void setSettings(const DisplaySettings& settings);
    // The settings the controls stand for.
    DisplaySettings settings() const;

    // What the countdown's line says: running, finished or nothing.
    void setCountdownRunning(bool running);
    void showCountdownFinished();

signals:
    void settingsEdited(const DisplaySettings& settings);
    void countdownForRequested(std::chrono::seconds duration);
    void countdownToRequested(const QTime& time);
    void countdownStopRequested();

protected:
    // The first show takes the size the groups want, bounded by the screen.
    void showEvent(QShowEvent* event) override;

private:
    void fillLists();
    void connectControls();
    void edited();
    void enableDependents();
    void startCountdown();

    std::unique_ptr<Ui::DisplayDialog> ui_;
    bool filling_ = false;
    bool sized_ = false;
};
