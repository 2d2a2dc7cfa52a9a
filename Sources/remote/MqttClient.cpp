#include "remote/MqttClient.h"

#include <mosquitto.h>

#include <QSocketNotifier>
#include <iostream>
#include <mutex>

namespace {

// How long a started connection may take to be accepted by the broker.
constexpr std::chrono::milliseconds acceptDeadline {10000};
constexpr std::chrono::milliseconds housekeeping {500};

void initialiseLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

QByteArray utf8(const QString& text)
{
    return text.toUtf8();
}

}  // namespace

MqttClient::MqttClient(const MqttSettings& settings, const QString& willTopic, const QByteArray& willPayload,
                       QObject* parent)
    : QObject(parent), settings_(settings)
{
    initialiseLibrary();
    const QByteArray id = utf8(settings_.clientId);
    handle_ = mosquitto_new(id.isEmpty() ? nullptr : id.constData(), true, this);
    // The connect runs on another thread than the loop.
    mosquitto_threaded_set(handle_, true);
    mosquitto_connect_callback_set(handle_, &MqttClient::onConnect);
    mosquitto_disconnect_callback_set(handle_, &MqttClient::onDisconnect);
    mosquitto_message_callback_set(handle_, &MqttClient::onMessage);
    const QByteArray will = utf8(willTopic);
    mosquitto_will_set(handle_, will.constData(), static_cast<int>(willPayload.size()), willPayload.constData(), 1,
                       true);
    if (!settings_.user.isEmpty()) {
        mosquitto_username_pw_set(handle_, utf8(settings_.user).constData(), utf8(settings_.password).constData());
    }
    if (settings_.tls) {
        const QByteArray caFile = utf8(settings_.caFile);
        mosquitto_tls_set(handle_, caFile.isEmpty() ? nullptr : caFile.constData(),
                          caFile.isEmpty() ? "/etc/ssl/certs" : nullptr, nullptr, nullptr, nullptr);
    }
    misc_.setInterval(housekeeping);
    // Keep-alive pings and retries of unanswered messages; a broker that
    // stopped answering the pings is dropped there (onDisconnect).
    connect(&misc_, &QTimer::timeout, this, [this] {
        mosquitto_loop_misc(handle_);
        updateWriteWatch();
    });
    retry_.setSingleShot(true);
    connect(&retry_, &QTimer::timeout, this, [this] { connectOffThread(false); });
}

MqttClient::~MqttClient()
{
    stopping_ = true;
    if (connector_.joinable()) {
        connector_.join();
    }
    unwatchSocket();
    if (connected_) {
        // A goodbye, so that the broker keeps the will to itself.
        mosquitto_disconnect(handle_);
        mosquitto_loop_write(handle_, 1);
    }
    mosquitto_destroy(handle_);
}

void MqttClient::start()
{
    connectOffThread(true);
}

void MqttClient::connectOffThread(bool first)
{
    if (connecting_ || stopping_) {
        return;
    }
    connecting_ = true;
    const QByteArray host = utf8(settings_.host);
    const int port = settings_.port;
    // The name lookup and the TCP connect may take long; the outcome comes
    // back queued, and the destructor joins the thread first.
    connector_ = std::thread([this, first, host, port] {
        const int result = first ? mosquitto_connect_async(handle_, host.constData(), port, keepAliveSeconds)
                                 : mosquitto_reconnect_async(handle_);
        QMetaObject::invokeMethod(
            this, [this, result] { connectFinished(result); }, Qt::QueuedConnection);
    });
}

void MqttClient::connectFinished(int result)
{
    connector_.join();
    connecting_ = false;
    if (stopping_) {
        return;
    }
    if (result != MOSQ_ERR_SUCCESS) {
        scheduleRetry();
        return;
    }
    watchSocket();
    // A broker that takes the connection and never accepts it.
    QTimer::singleShot(acceptDeadline, this, [this, socket = mosquitto_socket(handle_)] {
        if (!connected_ && readNotifier_ && mosquitto_socket(handle_) == socket) {
            lost();
        }
    });
}

void MqttClient::watchSocket()
{
    unwatchSocket();
    const int socket = mosquitto_socket(handle_);
    if (socket < 0) {
        scheduleRetry();
        return;
    }
    readNotifier_ = std::make_unique<QSocketNotifier>(socket, QSocketNotifier::Read);
    connect(readNotifier_.get(), &QSocketNotifier::activated, this, &MqttClient::readable);
    writeNotifier_ = std::make_unique<QSocketNotifier>(socket, QSocketNotifier::Write);
    connect(writeNotifier_.get(), &QSocketNotifier::activated, this, &MqttClient::writable);
    updateWriteWatch();
    misc_.start();
}

void MqttClient::unwatchSocket()
{
    misc_.stop();
    // Possibly from within a notifier's own activation: it goes later.
    for (auto* notifier : {&readNotifier_, &writeNotifier_}) {
        if (*notifier) {
            (*notifier)->setEnabled(false);
            (*notifier).release()->deleteLater();
        }
    }
}

void MqttClient::readable()
{
    if (mosquitto_loop_read(handle_, 1) != MOSQ_ERR_SUCCESS) {
        lost();
        return;
    }
    updateWriteWatch();
}

void MqttClient::writable()
{
    if (mosquitto_loop_write(handle_, 1) != MOSQ_ERR_SUCCESS) {
        lost();
        return;
    }
    updateWriteWatch();
}

void MqttClient::updateWriteWatch()
{
    if (writeNotifier_) {
        writeNotifier_->setEnabled(mosquitto_want_write(handle_));
    }
}

void MqttClient::lost()
{
    if (!readNotifier_ && !connected_) {
        return;
    }
    unwatchSocket();
    const bool wasConnected = std::exchange(connected_, false);
    if (wasConnected) {
        emit disconnected();
    }
    scheduleRetry();
}

void MqttClient::scheduleRetry()
{
    if (stopping_ || retry_.isActive() || connecting_) {
        return;
    }
    retry_.start(nextRetry_);
    nextRetry_ = std::min(nextRetry_ * 2, longestRetry);
}

void MqttClient::publish(const QString& topic, const QByteArray& payload, bool retain)
{
    if (!connected_) {
        return;
    }
    mosquitto_publish(handle_, nullptr, utf8(topic).constData(), static_cast<int>(payload.size()), payload.constData(),
                      1, retain);
    updateWriteWatch();
}

void MqttClient::subscribe(const QString& topicFilter)
{
    subscriptions_ << topicFilter;
    if (connected_) {
        mosquitto_subscribe(handle_, nullptr, utf8(topicFilter).constData(), 1);
        updateWriteWatch();
    }
}

void MqttClient::onConnect(mosquitto*, void* self, int result)
{
    auto* client = static_cast<MqttClient*>(self);
    if (result != 0) {
        // Refused (bad credentials, not authorised): said once per refusal,
        // without the credentials, and tried again later.
        std::cerr << "halodial: the MQTT broker refused the connection: " << mosquitto_connack_string(result)
                  << std::endl;
        QMetaObject::invokeMethod(
            client, [client] { client->lost(); }, Qt::QueuedConnection);
        return;
    }
    client->connected_ = true;
    client->nextRetry_ = firstRetry;
    for (const QString& filter : client->subscriptions_) {
        mosquitto_subscribe(client->handle_, nullptr, utf8(filter).constData(), 1);
    }
    emit client->connected();
    client->updateWriteWatch();
}

void MqttClient::onDisconnect(mosquitto*, void* self, int)
{
    auto* client = static_cast<MqttClient*>(self);
    if (client->stopping_) {
        return;
    }
    QMetaObject::invokeMethod(
        client, [client] { client->lost(); }, Qt::QueuedConnection);
}

void MqttClient::onMessage(mosquitto*, void* self, const mosquitto_message* message)
{
    auto* client = static_cast<MqttClient*>(self);
    emit client->messageReceived(
        QString::fromUtf8(message->topic),
        QByteArray(static_cast<const char*>(message->payload), message->payloadlen > 0 ? message->payloadlen : 0));
}
