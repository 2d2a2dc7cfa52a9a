#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "remote/MqttSettings.h"

class QSocketNotifier;
struct mosquitto;

// An MQTT connection through libmosquitto, run by the Qt event loop of the
// thread that made it (the GUI thread): the socket is watched with
// QSocketNotifiers and libmosquitto's housekeeping runs on a timer, so no
// call here blocks. Only connecting (and reconnecting) happens on a thread
// of its own, as it may wait for a name lookup and a TCP handshake; the
// connection is not touched from the loop meanwhile.
//
// A lost or refused connection is retried with a growing pause (1 s, then
// doubling up to 30 s) until stop(). A broker that never answers costs
// nothing but the retries.
//
// The user and password are handed to libmosquitto and never logged.
class MqttClient : public QObject {
    Q_OBJECT

public:
    static constexpr int keepAliveSeconds = 30;
    static constexpr std::chrono::milliseconds firstRetry {1000};
    static constexpr std::chrono::milliseconds longestRetry {30000};

    // `willTopic`/`willPayload`: published retained by the broker when the
    // connection is lost without a goodbye.
    MqttClient(const MqttSettings& settings, const QString& willTopic, const QByteArray& willPayload,
               QObject* parent = nullptr);
    ~MqttClient() override;

    MqttClient(const MqttClient&) = delete;
    MqttClient& operator=(const MqttClient&) = delete;

    void start();
    bool isConnected() const { return connected_; }

    // Queued when not connected: dropped (the state is published again
    // on every connect).
    void publish(const QString& topic, const QByteArray& payload, bool retain);
    // Subscriptions made while connected are remade on every connect.
    void subscribe(const QString& topicFilter);

signals:
    void connected();
    void disconnected();
    void messageReceived(const QString& topic, const QByteArray& payload);

private:
    static void onConnect(mosquitto*, void* self, int result);
    static void onDisconnect(mosquitto*, void* self, int result);
    static void onMessage(mosquitto*, void* self, const struct mosquitto_message* message);

    void connectOffThread(bool first);
    void connectFinished(int result);
    void watchSocket();
    void unwatchSocket();
    void readable();
    void writable();
    void updateWriteWatch();
    void lost();
    void scheduleRetry();

    MqttSettings settings_;
    mosquitto* handle_ = nullptr;
    std::thread connector_;
    bool connecting_ = false;
    bool connected_ = false;
    bool stopping_ = false;
    std::unique_ptr<QSocketNotifier> readNotifier_;
    std::unique_ptr<QSocketNotifier> writeNotifier_;
    QTimer misc_;
    QTimer retry_;
    std::chrono::milliseconds nextRetry_ = firstRetry;
    QStringList subscriptions_;
};
