#include "remote/HomeAssistantDiscovery.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <span>

#include "remote/MqttPayload.h"

namespace {

QJsonArray texts(std::span<const std::string_view> options)
{
    QJsonArray array;
    for (const std::string_view option : options) {
        array.append(QString::fromUtf8(option.data(), static_cast<qsizetype>(option.size())));
    }
    return array;
}

}  // namespace

HomeAssistantDiscovery::HomeAssistantDiscovery(const QString& prefix, const QString& discoveryPrefix)
    : prefix_(prefix), discoveryPrefix_(discoveryPrefix)
{
    for (const QChar c : prefix) {
        const bool allowed = (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
            || (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) || (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            || c == QLatin1Char('-');
        nodeId_ += allowed ? c : QLatin1Char('_');
    }
}

QString HomeAssistantDiscovery::tubeState(int tube) const
{
    return this->tube(tube) + QStringLiteral("/state");
}

QString HomeAssistantDiscovery::tubeCommand(int tube) const
{
    return this->tube(tube) + QStringLiteral("/set");
}

QString HomeAssistantDiscovery::tubeRgbState(int tube) const
{
    return this->tube(tube) + QStringLiteral("/rgb/state");
}

QString HomeAssistantDiscovery::tubeRgbCommand(int tube) const
{
    return this->tube(tube) + QStringLiteral("/rgb/set");
}

QByteArray HomeAssistantDiscovery::config(QJsonObject entity, const QString& object, bool followsLink) const
{
    entity.insert(QStringLiteral("unique_id"), nodeId_ + QLatin1Char('_') + object);
    entity.insert(QStringLiteral("object_id"), nodeId_ + QLatin1Char('_') + object);
    QJsonArray availabilities {QJsonObject {{QStringLiteral("topic"), availability()}}};
    if (followsLink) {
        availabilities.append(QJsonObject {{QStringLiteral("topic"), link()}});
    }
    entity.insert(QStringLiteral("availability"), availabilities);
    entity.insert(QStringLiteral("availability_mode"), QStringLiteral("all"));
    entity.insert(
        QStringLiteral("device"),
        QJsonObject {{QStringLiteral("identifiers"), QJsonArray {nodeId_}},
                     {QStringLiteral("name"), QStringLiteral("Halodial ") + prefix_.section(QLatin1Char('/'), -1)},
                     {QStringLiteral("manufacturer"), QStringLiteral("Halodial")},
                     {QStringLiteral("model"), QStringLiteral("Six-tube clock")},
                     {QStringLiteral("sw_version"), QStringLiteral(HALODIAL_VERSION)}});
    return QJsonDocument(entity).toJson(QJsonDocument::Compact);
}

QList<HomeAssistantDiscovery::Config> HomeAssistantDiscovery::configs() const
{
    const auto topic = [this](const char* component, const QString& object) {
        return QStringLiteral("%1/%2/%3/%4/config").arg(discoveryPrefix_, QLatin1String(component), nodeId_, object);
    };
    QList<Config> configs;
    configs << Config {topic("light", QStringLiteral("tubes")),
                       config(QJsonObject {{QStringLiteral("name"), QStringLiteral("Tubes")},
                                           {QStringLiteral("command_topic"), allCommand()},
                                           {QStringLiteral("state_topic"), allState()},
                                           {QStringLiteral("rgb_command_topic"), allRgbCommand()},
                                           {QStringLiteral("rgb_state_topic"), allRgbState()},
                                           {QStringLiteral("brightness_command_topic"), brightnessCommand()},
                                           {QStringLiteral("brightness_state_topic"), brightnessState()},
                                           {QStringLiteral("brightness_scale"), 255},
                                           {QStringLiteral("effect_command_topic"), effectCommand()},
                                           {QStringLiteral("effect_state_topic"), effectState()},
                                           {QStringLiteral("effect_list"), texts(MqttPayload::effects)}},
                              QStringLiteral("tubes"))};
    for (int tube = 1; tube <= 6; ++tube) {
        const QString object = QStringLiteral("tube%1").arg(tube);
        configs << Config {topic("light", object),
                           config(QJsonObject {{QStringLiteral("name"), QStringLiteral("Tube %1").arg(tube)},
                                               {QStringLiteral("command_topic"), tubeCommand(tube)},
                                               {QStringLiteral("state_topic"), tubeState(tube)},
                                               {QStringLiteral("rgb_command_topic"), tubeRgbCommand(tube)},
                                               {QStringLiteral("rgb_state_topic"), tubeRgbState(tube)}},
                                  object)};
    }
    configs << Config {topic("select", QStringLiteral("mode")),
                       config(QJsonObject {{QStringLiteral("name"), QStringLiteral("Mode")},
                                           {QStringLiteral("command_topic"), modeCommand()},
                                           {QStringLiteral("state_topic"), modeState()},
                                           {QStringLiteral("options"), texts(MqttPayload::modes)},
                                           {QStringLiteral("icon"), QStringLiteral("mdi:clock-digital")}},
                              QStringLiteral("mode"))};
    configs << Config {topic("switch", QStringLiteral("night")),
                       config(QJsonObject {{QStringLiteral("name"), QStringLiteral("Night")},
                                           {QStringLiteral("command_topic"), nightCommand()},
                                           {QStringLiteral("state_topic"), nightState()},
                                           {QStringLiteral("icon"), QStringLiteral("mdi:weather-night")}},
                              QStringLiteral("night"))};
    configs << Config {topic("button", QStringLiteral("save")),
                       config(QJsonObject {{QStringLiteral("name"), QStringLiteral("Save")},
                                           {QStringLiteral("command_topic"), saveCommand()},
                                           {QStringLiteral("payload_press"), QStringLiteral("PRESS")}},
                              QStringLiteral("save"))};
    // The port's state is worth seeing most when the link is down.
    configs << Config {topic("sensor", QStringLiteral("port")),
                       config(QJsonObject {{QStringLiteral("name"), QStringLiteral("Port")},
                                           {QStringLiteral("state_topic"), portState()},
                                           {QStringLiteral("icon"), QStringLiteral("mdi:serial-port")}},
                              QStringLiteral("port"), false)};
    return configs;
}
