// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/MosquittoMqttClient.h"

#include <mosquitto.h>

namespace corvane {
namespace {

constexpr int kKeepAliveSeconds = 30;

struct LibraryInit {
    LibraryInit() { mosquitto_lib_init(); }
    ~LibraryInit() { mosquitto_lib_cleanup(); }
};

}  // namespace

MosquittoMqttClient::MosquittoMqttClient(EventLoop& loop) : loop_(loop) {
    static const LibraryInit init;
    client_ = mosquitto_new(nullptr, true, this);
    housekeeping_.setInterval(1000);
    QObject::connect(&housekeeping_, &QTimer::timeout, [this] {
        if (client_ == nullptr || mosquitto_socket(client_) < 0) return;
        afterIo(mosquitto_loop_misc(client_));
    });
}

MosquittoMqttClient::~MosquittoMqttClient() {
    ++generation_;
    closeSocket();
    if (client_ != nullptr) mosquitto_destroy(client_);
}

void MosquittoMqttClient::connect(const MqttConnectionSettings& settings, Handlers handlers) {
    ++generation_;
    closeSocket();
    handlers_ = std::move(handlers);
    connected_ = false;
    const auto failSoon = [this](const std::string& reason) {
        loop_.post([this, reason, generation = generation_] {
            if (generation == generation_) fail(reason);
        });
    };
    if (client_ == nullptr || mosquitto_reinitialise(client_, settings.clientIdentifier.c_str(), true, this) != MOSQ_ERR_SUCCESS) {
        return failSoon("The MQTT client could not be set up");
    }
    mosquitto_int_option(client_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_connect_callback_set(client_, &MosquittoMqttClient::onConnect);
    mosquitto_disconnect_callback_set(client_, &MosquittoMqttClient::onDisconnect);
    if (settings.username) {
        mosquitto_username_pw_set(client_, settings.username->c_str(), settings.password ? settings.password->c_str() : nullptr);
    }
    if (!settings.willTopic.empty()) {
        mosquitto_will_set(client_, settings.willTopic.c_str(), static_cast<int>(settings.willPayload.size()),
                           settings.willPayload.data(), 1, true);
    }
    if (settings.tls) {
        mosquitto_int_option(client_, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
    }
    const int code = mosquitto_connect_async(client_, settings.host.c_str(), settings.port, kKeepAliveSeconds);
    if (code != MOSQ_ERR_SUCCESS) {
        return failSoon(code == MOSQ_ERR_ERRNO ? "Cannot reach the broker" : mosquitto_strerror(code));
    }
    watchSocket();
}

bool MosquittoMqttClient::publish(const std::string& topic, const std::string& payload, bool retain) {
    if (!connected_) return false;
    const int code = mosquitto_publish(client_, nullptr, topic.c_str(), static_cast<int>(payload.size()), payload.data(), 1, retain);
    afterIo(code);
    return code == MOSQ_ERR_SUCCESS;
}

void MosquittoMqttClient::disconnect() {
    ++generation_;
    if (client_ != nullptr && mosquitto_socket(client_) >= 0) mosquitto_disconnect(client_);
    closeSocket();
    connected_ = false;
}

void MosquittoMqttClient::onConnect(mosquitto*, void* self, int code) {
    auto& client = *static_cast<MosquittoMqttClient*>(self);
    if (code != 0) {
        client.loop_.post([&client, reason = std::string(mosquitto_connack_string(code)), generation = client.generation_] {
            if (generation == client.generation_) client.fail(reason);
        });
        return;
    }
    client.connected_ = true;
    client.loop_.post([&client, generation = client.generation_] {
        if (generation == client.generation_ && client.handlers_.connected) client.handlers_.connected();
    });
}

void MosquittoMqttClient::onDisconnect(mosquitto*, void* self, int code) {
    auto& client = *static_cast<MosquittoMqttClient*>(self);
    if (code == 0) return;  // our own disconnect()
    client.loop_.post([&client, generation = client.generation_] {
        if (generation == client.generation_) client.fail("The connection to the broker was lost");
    });
}

void MosquittoMqttClient::watchSocket() {
    const int socket = mosquitto_socket(client_);
    if (socket < 0) return;
    reading_ = std::make_unique<QSocketNotifier>(socket, QSocketNotifier::Read);
    QObject::connect(reading_.get(), &QSocketNotifier::activated, [this] { afterIo(mosquitto_loop_read(client_, 1)); });
    writing_ = std::make_unique<QSocketNotifier>(socket, QSocketNotifier::Write);
    QObject::connect(writing_.get(), &QSocketNotifier::activated, [this] { afterIo(mosquitto_loop_write(client_, 1)); });
    writing_->setEnabled(mosquitto_want_write(client_));
    housekeeping_.start();
}

void MosquittoMqttClient::afterIo(int code) {
    if (code != MOSQ_ERR_SUCCESS && code != MOSQ_ERR_NO_CONN) {
        const unsigned generation = generation_;
        loop_.post([this, generation] {
            if (generation == generation_) fail("The connection to the broker was lost");
        });
        closeSocket();
        return;
    }
    if (writing_) writing_->setEnabled(mosquitto_want_write(client_));
}

void MosquittoMqttClient::fail(const std::string& reason) {
    ++generation_;
    closeSocket();
    connected_ = false;
    if (handlers_.disconnected) handlers_.disconnected(reason);
}

void MosquittoMqttClient::closeSocket() {
    housekeeping_.stop();
    // Possibly from inside one of their own activations: delete them later.
    for (auto* notifier : {reading_.release(), writing_.release()}) {
        if (notifier == nullptr) continue;
        notifier->setEnabled(false);
        notifier->deleteLater();
    }
}

}  // namespace corvane
