#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <functional>
#include <optional>

#include "console/LineSettings.h"

class SerialPortDemoController;

// The line settings of each port, by its PortIdentity, and their way into
// the port: the port the controller takes gets its remembered settings (or
// the clock's 115200 8N1), and whenever the port is closed DTR and RTS are
// set to go up at its next open, when its settings say so. Choices are kept
// for the run and, with storage, across runs. GUI thread; the controller
// must outlive it.
class PortLineSettings : public QObject {
    Q_OBJECT

public:
    using Load = std::function<std::optional<LineSettings>(const QString& identity)>;
    using Save = std::function<void(const QString& identity, const LineSettings& settings)>;

    explicit PortLineSettings(SerialPortDemoController& controller, QObject* parent = nullptr);

    // Where the choices are kept across runs; the current port gets what
    // is stored for it at once.
    void setStorage(Load load, Save save);

    // The current port's settings: chosen, stored, or the default.
    LineSettings current() const;
    // Applies `settings` to the current port and keeps them for it; without
    // a port nothing happens.
    void choose(const LineSettings& settings);

signals:
    // The current port's settings changed, or another port was taken.
    void changed(const LineSettings& settings);

private:
    LineSettings settingsFor(const QString& identity) const;
    void applyToCurrentPort();

    SerialPortDemoController& controller_;
    QHash<QString, LineSettings> chosen_;
    Load load_;
    Save save_;
};
