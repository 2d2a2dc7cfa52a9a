#pragma once

#include <QDialog>
#include <memory>

#include "console/LineSettings.h"

namespace Ui {
class LineSettingsDialog;
}

// Edits one port's LineSettings: a baud rate from the standard list or any
// number typed in, parity, stop bits, RTS/CTS flow control and the raising
// of DTR and RTS on open. Restore Defaults puts back the clock's 115200 8N1.
// GUI thread.
class LineSettingsDialog : public QDialog {
    Q_OBJECT

public:
    LineSettingsDialog(const QString& portName, const LineSettings& settings, QWidget* parent = nullptr);
    ~LineSettingsDialog() override;

    // What the controls say now; a baud rate that is not a positive number
    // is refused by the field and reads as the one shown before.
    LineSettings settings() const;
    void setSettings(const LineSettings& settings);

    Ui::LineSettingsDialog& ui() { return *ui_; }

private:
    std::unique_ptr<Ui::LineSettingsDialog> ui_;
    unsigned long shownRate_ = LineSettings::defaultBaudRate;
};
