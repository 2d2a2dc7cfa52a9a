#include "remote/MqttBridge.h"

#include <QColor>
#include <QTimer>
#include <algorithm>
#include <iostream>
#include <string_view>

#include "SerialPortDemoController.h"
#include "remote/MqttPayload.h"
#include "remote/RemoteArguments.h"

static_assert(MqttPayload::effects.size() == static_cast<std::size_t>(DisplaySettings::Effect::Pulse) + 1,
              "one effect name for every effect, in order");

namespace {

QByteArray rgbText(const QColor& colour)
{
    return QByteArray::number(colour.red()) + ',' + QByteArray::number(colour.green()) + ','
        + QByteArray::number(colour.blue());
}

std::string_view view(const QByteArray& bytes)
{
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

int brightest(const std::array<QColor, 6>& colours)
{
    int level = 0;
    for (const QColor& colour : colours) {
        level = std::max({level, colour.red(), colour.green(), colour.blue()});
    }
    return level;
}

}  // namespace

MqttBridge::MqttBridge(SerialPortDemoController& controller, const MqttSettings& settings, QObject* parent)
    : QObject(parent), controller_(controller), topics_(settings.topicPrefix),
      client_(settings, topics_.availability(), QByteArrayLiteral("offline"))
{
    connect(&client_, &MqttClient::connected, this, [this] {
        // A broker that restarted has forgotten everything retained.
        published_.clear();
        announce();
        client_.subscribe(topics_.commandFilter());
        publishState();
    });
    connect(&client_, &MqttClient::messageReceived, this, &MqttBridge::command);
    connect(&controller_, &SerialPortDemoController::tubeColoursChanged, this, &MqttBridge::schedulePublish);
    connect(&controller_, &SerialPortDemoController::syncingChanged, this, &MqttBridge::schedulePublish);
    connect(&controller_, &SerialPortDemoController::portStateChanged, this, &MqttBridge::schedulePublish);
    connect(&controller_, &SerialPortDemoController::displaySettingsChanged, this, &MqttBridge::schedulePublish);
}

MqttBridge::~MqttBridge()
{
    // A goodbye keeps the broker's will to itself: say it here.
    client_.publish(topics_.availability(), QByteArrayLiteral("offline"), true);
}

void MqttBridge::start()
{
    client_.start();
}

void MqttBridge::announce()
{
    for (const HomeAssistantDiscovery::Config& config : topics_.configs()) {
        client_.publish(config.topic, config.payload, true);
    }
    client_.publish(topics_.availability(), QByteArrayLiteral("online"), true);
}

void MqttBridge::schedulePublish()
{
    // A colour for all tubes is six changes: published once.
    if (publishScheduled_) {
        return;
    }
    publishScheduled_ = true;
    QTimer::singleShot(0, this, [this] {
        publishScheduled_ = false;
        publishState();
    });
}

void MqttBridge::publishIfChanged(const QString& topic, const QByteArray& payload)
{
    auto it = published_.find(topic);
    if (it != published_.end() && *it == payload) {
        return;
    }
    published_.insert(topic, payload);
    client_.publish(topic, payload, true);
}

void MqttBridge::publishState()
{
    if (!client_.isConnected()) {
        return;
    }
    const auto state = controller_.portState();
    publishIfChanged(topics_.link(),
                     state == PortStatus::State::Open ? QByteArrayLiteral("online") : QByteArrayLiteral("offline"));
    publishIfChanged(topics_.portState(), RemoteArguments::portStateName(state).toUtf8());
    publishIfChanged(topics_.allState(), controller_.isSyncing() ? QByteArrayLiteral("ON") : QByteArrayLiteral("OFF"));
    publishDisplay();
    const auto colours = controller_.tubeColours();
    if (!colours) {
        return;
    }
    publishIfChanged(topics_.allRgbState(), rgbText((*colours)[0]));
    publishIfChanged(topics_.brightnessState(), QByteArray::number(brightest(*colours)));
    for (int tube = 1; tube <= 6; ++tube) {
        const QColor& colour = (*colours)[static_cast<std::size_t>(tube - 1)];
        publishIfChanged(topics_.tubeState(tube),
                         (colour.rgb() & 0xFFFFFFu) ? QByteArrayLiteral("ON") : QByteArrayLiteral("OFF"));
        publishIfChanged(topics_.tubeRgbState(tube), rgbText(colour));
    }
}

void MqttBridge::publishDisplay()
{
    const DisplaySettings& settings = controller_.displaySettings();
    const auto text = [](std::string_view option) {
        return QByteArray(option.data(), static_cast<qsizetype>(option.size()));
    };
    publishIfChanged(topics_.effectState(), text(MqttPayload::effects[static_cast<std::size_t>(settings.effect)]));
    const std::size_t mode = !settings.twelveHour ? 0 : settings.leadingZero ? 1 : 2;
    publishIfChanged(topics_.modeState(), text(MqttPayload::modes[mode]));
    publishIfChanged(topics_.nightState(), settings.nightEnabled ? QByteArrayLiteral("ON") : QByteArrayLiteral("OFF"));
}

bool MqttBridge::displayCommand(const QString& topic, const QByteArray& payload)
{
    DisplaySettings settings = controller_.displaySettings();
    if (topic == topics_.effectCommand()) {
        const auto effect = MqttPayload::oneOf(view(payload), MqttPayload::effects);
        if (!effect) {
            refuse(topic, "one of the light's effects");
            return true;
        }
        settings.effect = static_cast<DisplaySettings::Effect>(*effect);
    } else if (topic == topics_.modeCommand()) {
        const auto mode = MqttPayload::oneOf(view(payload), MqttPayload::modes);
        if (!mode) {
            refuse(topic, "one of the select's options");
            return true;
        }
        settings.twelveHour = *mode != 0;
        settings.leadingZero = *mode != 2;
    } else if (topic == topics_.nightCommand()) {
        const auto on = MqttPayload::onOff(view(payload));
        if (!on) {
            refuse(topic, "ON or OFF");
            return true;
        }
        settings.nightEnabled = *on;
    } else {
        return false;
    }
    controller_.setDisplaySettings(settings);
    return true;
}

void MqttBridge::refuse(const QString& topic, const char* expected)
{
    std::cerr << "halodial: MQTT: refused a message on " << topic.toStdString() << ": expected " << expected
              << std::endl;
}

void MqttBridge::command(const QString& topic, const QByteArray& payload)
{
    const auto colours = controller_.tubeColours();
    if (topic == topics_.allCommand()) {
        const auto on = MqttPayload::onOff(view(payload));
        if (!on) {
            return refuse(topic, "ON or OFF");
        }
        *on ? controller_.senddate() : controller_.stop();
    } else if (topic == topics_.allRgbCommand()) {
        const auto rgb = MqttPayload::rgb(view(payload));
        if (!rgb) {
            return refuse(topic, "R,G,B with each 0 to 255");
        }
        std::array<QColor, 6> all;
        all.fill(QColor((*rgb)[0], (*rgb)[1], (*rgb)[2]));
        controller_.setTubeColours(all);
    } else if (topic == topics_.brightnessCommand()) {
        const auto level = MqttPayload::brightness(view(payload));
        if (!level) {
            return refuse(topic, "a brightness from 0 to 255");
        }
        if (!colours) {
            return;
        }
        std::array<QColor, 6> scaled = *colours;
        const int from = brightest(*colours);
        for (QColor& colour : scaled) {
            colour = from == 0
                ? QColor(*level, *level, *level)
                : QColor(colour.red() * *level / from, colour.green() * *level / from, colour.blue() * *level / from);
        }
        controller_.setTubeColours(scaled);
    } else if (topic == topics_.saveCommand()) {
        if (!MqttPayload::press(view(payload))) {
            return refuse(topic, "PRESS");
        }
        controller_.save();
    } else if (!displayCommand(topic, payload)) {
        for (int tube = 1; tube <= 6; ++tube) {
            if (tubeCommand(tube, topic, payload)) {
                return;
            }
        }
        // The state topics under the same prefix come back here too.
    }
}

bool MqttBridge::tubeCommand(int tube, const QString& topic, const QByteArray& payload)
{
    const bool onOff = topic == topics_.tubeCommand(tube);
    const bool rgbTopic = topic == topics_.tubeRgbCommand(tube);
    if (!onOff && !rgbTopic) {
        return false;
    }
    const auto colours = controller_.tubeColours();
    if (!colours) {
        return true;
    }
    std::array<QColor, 6> changed = *colours;
    QColor& colour = changed[static_cast<std::size_t>(tube - 1)];
    QRgb& lastLit = lastLit_[static_cast<std::size_t>(tube - 1)];
    if (onOff) {
        const auto on = MqttPayload::onOff(view(payload));
        if (!on) {
            refuse(topic, "ON or OFF");
            return true;
        }
        const bool lit = (colour.rgb() & 0xFFFFFFu) != 0;
        if (*on == lit) {
            return true;
        }
        if (!*on) {
            lastLit = colour.rgb() & 0xFFFFFFu;
        }
        colour = *on ? QColor::fromRgb(lastLit ? lastLit : 0xFFFFFFu) : QColor(Qt::black);
    } else {
        const auto rgb = MqttPayload::rgb(view(payload));
        if (!rgb) {
            refuse(topic, "R,G,B with each 0 to 255");
            return true;
        }
        colour = QColor((*rgb)[0], (*rgb)[1], (*rgb)[2]);
    }
    controller_.setTubeColours(changed);
    return true;
}
