// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The MqttClient port on libmosquitto, driven from the Qt loop: the client's
// socket is watched with QSocketNotifiers and a one-second timer runs its
// keep-alive, so no second thread ever touches the application's objects.
#include <memory>

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include "app/ports/EventLoop.h"
#include "app/ports/MqttClient.h"

struct mosquitto;

namespace corvane {

class MosquittoMqttClient final : public MqttClient {
public:
    explicit MosquittoMqttClient(EventLoop& loop);
    ~MosquittoMqttClient() override;
    MosquittoMqttClient(const MosquittoMqttClient&) = delete;
    MosquittoMqttClient& operator=(const MosquittoMqttClient&) = delete;

    void connect(const MqttConnectionSettings& settings, Handlers handlers) override;
    bool publish(const std::string& topic, const std::string& payload, bool retain) override;
    void disconnect() override;

private:
    static void onConnect(mosquitto* client, void* self, int code);
    static void onDisconnect(mosquitto* client, void* self, int code);
    void watchSocket();
    void afterIo(int code);
    void fail(const std::string& reason);
    void closeSocket();

    EventLoop& loop_;
    mosquitto* client_ = nullptr;
    Handlers handlers_;
    bool connected_ = false;
    // Bumped on every connect and teardown so that late callbacks of an
    // earlier connection are dropped.
    unsigned generation_ = 0;
    std::unique_ptr<QSocketNotifier> reading_;
    std::unique_ptr<QSocketNotifier> writing_;
    QTimer housekeeping_;
};

}  // namespace corvane
