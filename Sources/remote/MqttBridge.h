#pragma once

#include <QColor>
#include <QHash>
#include <QObject>
#include <QString>
#include <array>

#include "remote/HomeAssistantDiscovery.h"
#include "remote/MqttClient.h"
#include "remote/MqttSettings.h"

class SerialPortDemoController;

// The clock on MQTT for Home Assistant: announces it (discovery configs,
// retained), publishes its state retained on every change, whoever made
// it, and carries out the commands on the same controller the window and
// D-Bus use. What the entities mean:
//
// - the light for all tubes: ON/OFF starts and stops the sync, RGB sets
//   every tube, brightness scales the tubes' colours (the brightest
//   component of any tube is the brightness);
// - a light per tube: OFF makes the tube black, ON brings back its last
//   colour (white if it had none), RGB sets it;
// - the effects of the all-tubes light are the display's effects (a new
//   one keeps the effect's speed);
// - the Mode select chooses 24 hours, 12 hours, or 12 hours without the
//   leading zero;
// - the Night switch turns the night schedule on (from and to as they were
//   last set) or off;
// - the Save button sends a save frame; the Port sensor tells the port's
//   state.
//
// A malformed payload is refused with one line on standard error (the
// topic and what was expected, never the payload) and changes nothing.
//
// GUI thread; nothing blocks (MqttClient).
class MqttBridge : public QObject {
    Q_OBJECT

public:
    MqttBridge(SerialPortDemoController& controller, const MqttSettings& settings, QObject* parent = nullptr);
    ~MqttBridge() override;

    void start();
    const HomeAssistantDiscovery& topics() const { return topics_; }

private:
    void announce();
    void schedulePublish();
    void publishState();
    void publishIfChanged(const QString& topic, const QByteArray& payload);
    void command(const QString& topic, const QByteArray& payload);
    void refuse(const QString& topic, const char* expected);
    bool tubeCommand(int tube, const QString& topic, const QByteArray& payload);
    bool displayCommand(const QString& topic, const QByteArray& payload);
    void publishDisplay();

    SerialPortDemoController& controller_;
    HomeAssistantDiscovery topics_;
    MqttClient client_;
    QHash<QString, QByteArray> published_;
    bool publishScheduled_ = false;
    // Each tube's colour before it was turned off.
    std::array<QRgb, 6> lastLit_ {};
};
