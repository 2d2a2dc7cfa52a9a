#pragma once

#include <QPlainTextEdit>

// The console's output: a read-only QPlainTextEdit whose copy (Ctrl+C, the
// context menu, dragging) gives what is shown, except in hex view, where it
// gives the selected bytes as hex ("41 42 0D"), ready to paste into the
// send line's hex input or anywhere else. GUI thread.
class ConsoleView : public QPlainTextEdit {
    Q_OBJECT

public:
    explicit ConsoleView(QWidget* parent = nullptr);

    bool isHexView() const { return hexView_; }
    // Only what copy gives; the text itself is the controller's to set.
    void setHexView(bool hex) { hexView_ = hex; }

    // The selection's bytes as hex: every byte whose hex digits or ASCII
    // character the selection touches, in order; timestamp lines add none.
    QString selectedBytesAsHex() const;

protected:
    QMimeData* createMimeDataFromSelection() const override;

private:
    bool hexView_ = false;
};
