#pragma once

#include <QString>
#include <optional>
#include <variant>

// Where Halodial's MQTT client connects and as whom: from --mqtt URL,
// --mqtt-ca FILE, --mqtt-credentials FILE, --mqtt-client-id and
// --mqtt-prefix. Plain values; any thread.
struct MqttSettings {
    QString host;
    int port = 1883;
    // mqtts://: TLS, the broker's certificate verified against caFile, or
    // the system's CAs without one.
    bool tls = false;
    QString caFile;
    QString clientId;
    // Every topic of this clock starts with it; halodial/<hostname> unless
    // given.
    QString topicPrefix;
    // From the credentials file only; never logged.
    QString user;
    QString password;

    static constexpr int defaultPort = 1883;
    static constexpr int defaultTlsPort = 8883;

    // "mqtt://host[:port]" or "mqtts://host[:port]"; what is wrong otherwise.
    static std::variant<MqttSettings, QString> fromUrl(const QString& url);
    // Reads user (first line) and password (second line) from `path`,
    // which must be a regular file of mode 0600 (nobody else may read a
    // password). What is wrong otherwise; the message never holds the
    // file's contents.
    std::optional<QString> readCredentials(const QString& path);
    // halodial/<this computer's hostname>.
    static QString defaultTopicPrefix();
};
