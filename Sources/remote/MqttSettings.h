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

    // What the window's MQTT dialog takes and the settings file keeps: the
    // broker's URL (empty: no MQTT), the client id and the prefix (empty:
    // the defaults), and the paths of the credentials file and the CA
    // file; never a password.
    struct Choice {
        QString url;
        QString clientId;
        QString topicPrefix;
        QString credentialsFile;
        QString caFile;

        friend bool operator==(const Choice&, const Choice&) = default;
    };

    static constexpr int defaultPort = 1883;
    static constexpr int defaultTlsPort = 8883;

    // "mqtt://host[:port]" or "mqtts://host[:port]"; what is wrong otherwise.
    static std::variant<MqttSettings, QString> fromUrl(const QString& url);
    // Reads user (first line) and password (second line) from `path`,
    // which must be a regular file of mode 0600 (nobody else may read a
    // password). What is wrong otherwise; the message never holds the
    // file's contents.
    std::optional<QString> readCredentials(const QString& path);
    // The settings a choice stands for, checked as the command line's
    // options are (the credentials file read, its mode checked); what is
    // wrong otherwise. The URL must not be empty.
    static std::variant<MqttSettings, QString> fromChoice(const Choice& choice);
    // What is wrong with a topic prefix (empty, with + or #, or ending in
    // /); empty when it is fine.
    static QString prefixProblem(const QString& prefix);
    // halodial/<this computer's hostname>.
    static QString defaultTopicPrefix();
};
