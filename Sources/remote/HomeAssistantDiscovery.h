#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>

// The MQTT topics of one clock and the Home Assistant discovery configs
// that announce them: a light for all tubes (on/off runs the sync; RGB;
// brightness; the effects), a light per tube (on/off, RGB), a select for
// the display mode, a switch for the night, a button for Save and a sensor
// for the port's state, all of one device. Everything is unavailable
// while Halodial is not connected (the will), and all but the port's sensor
// also while the port to the clock is not open. Plain values; any thread.
class HomeAssistantDiscovery {
public:
    struct Config {
        QString topic;
        QByteArray payload;  // JSON
    };

    // `prefix`: every state and command topic starts with it.
    // `discoveryPrefix`: Home Assistant's, "homeassistant" by default.
    explicit HomeAssistantDiscovery(const QString& prefix,
                                    const QString& discoveryPrefix = QStringLiteral("homeassistant"));

    // "online" while Halodial is connected to the broker (the will says
    // "offline"); the link "online" while the port to the clock is open.
    QString availability() const { return prefix_ + QStringLiteral("/availability"); }
    QString link() const { return prefix_ + QStringLiteral("/link"); }
    // The light for all tubes: "ON"/"OFF", "R,G,B" and 0..255.
    QString allState() const { return prefix_ + QStringLiteral("/light/state"); }
    QString allCommand() const { return prefix_ + QStringLiteral("/light/set"); }
    QString allRgbState() const { return prefix_ + QStringLiteral("/light/rgb/state"); }
    QString allRgbCommand() const { return prefix_ + QStringLiteral("/light/rgb/set"); }
    QString brightnessState() const { return prefix_ + QStringLiteral("/light/brightness/state"); }
    QString brightnessCommand() const { return prefix_ + QStringLiteral("/light/brightness/set"); }
    // The effect of the all-tubes light, one of MqttPayload::effects.
    QString effectState() const { return prefix_ + QStringLiteral("/light/effect/state"); }
    QString effectCommand() const { return prefix_ + QStringLiteral("/light/effect/set"); }
    // The display mode, one of MqttPayload::modes.
    QString modeState() const { return prefix_ + QStringLiteral("/mode/state"); }
    QString modeCommand() const { return prefix_ + QStringLiteral("/mode/set"); }
    // The night schedule: "ON" (as configured) or "OFF".
    QString nightState() const { return prefix_ + QStringLiteral("/night/state"); }
    QString nightCommand() const { return prefix_ + QStringLiteral("/night/set"); }
    // Tube 1 to 6.
    QString tubeState(int tube) const;
    QString tubeCommand(int tube) const;
    QString tubeRgbState(int tube) const;
    QString tubeRgbCommand(int tube) const;
    QString saveCommand() const { return prefix_ + QStringLiteral("/save/press"); }
    QString portState() const { return prefix_ + QStringLiteral("/port/state"); }
    // What the client subscribes to for every command.
    QString commandFilter() const { return prefix_ + QStringLiteral("/#"); }

    // Every config, to be published retained.
    QList<Config> configs() const;

private:
    QString tube(int tube) const { return prefix_ + QStringLiteral("/tube%1").arg(tube); }
    // `followsLink`: unavailable also while the port is not open.
    QByteArray config(QJsonObject entity, const QString& object, bool followsLink = true) const;

    QString prefix_;
    QString discoveryPrefix_;
    // The prefix as Home Assistant's ids allow it: [A-Za-z0-9_-].
    QString nodeId_;
};
