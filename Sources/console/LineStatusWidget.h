#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "support/Observable.h"

class VELSerialPort;

// The modem lines of the console's port, as gtkterm and tio show them: CTS,
// DSR and DCD as indicators that follow the port's observable properties,
// RTS and DTR as toggles. With no open port, or on a device that has no
// modem lines (a pseudo-terminal), the indicators read as unavailable and
// the toggles are disabled. GUI thread; the port's notices may come from any
// thread and are taken over to the GUI thread.
class LineStatusWidget : public QWidget {
    Q_OBJECT

public:
    // What the widget needs of a port: the observable properties "CTS",
    // "DSR", "DCD", "RTS", "DTR", "isOpen" and "hasModemLines", read and
    // (RTS, DTR) set.
    // VELSerialPort provides them through of(); a test may provide its own.
    struct Lines {
        std::shared_ptr<vel::Observable> observable;
        std::function<bool()> isOpen;
        std::array<std::function<bool()>, 3> inputs;  // CTS, DSR, DCD
        std::function<bool()> rts;
        std::function<bool()> dtr;
        std::function<void(bool)> setRts;
        std::function<void(bool)> setDtr;
        // Whether the device has modem lines (observable key
        // "hasModemLines"); none means it has.
        std::function<bool()> hasModemLines;

        // The port tells whether its device has modem lines once it has
        // opened it (a pseudo-terminal has none).
        static Lines of(const std::shared_ptr<VELSerialPort>& port);
    };

    explicit LineStatusWidget(QWidget* parent = nullptr);

    // The port to show; empty Lines (or of(nullptr)) for none.
    void setLines(Lines lines);
    // False when the port turned out to have no modem lines; back to what
    // the Lines say with the next setLines().
    void setModemLinesAvailable(bool available);

    // "on", "off" or "unavailable", as the indicator of CTS (0), DSR (1) or
    // DCD (2) tells it to assistive technology.
    QString indicatorState(int line) const;
    QCheckBox* rtsToggle() const { return rts_; }
    QCheckBox* dtrToggle() const { return dtr_; }

private:
    void refresh();
    void scheduleRefresh();

    Lines lines_;
    std::vector<vel::Observation> observations_;
    bool available_ = true;
    std::array<QLabel*, 3> indicators_{};
    QCheckBox* rts_ = nullptr;
    QCheckBox* dtr_ = nullptr;
};
