// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One connection to an MQTT broker, as the Home Assistant publisher needs it.
// Contract every implementation (MosquittoMqttClient, the unit tests' fake)
// keeps:
// - connect() starts one attempt and returns at once; its outcome arrives
//   later through `connected` or `disconnected`, on the loop thread, never
//   inside connect(), publish() or disconnect();
// - `disconnected` also reports a connection lost after it was made; the
//   client does not retry by itself (the publisher owns the back-off);
// - the broker sends the will when the connection drops without disconnect();
// - publish() while not connected is dropped and returns false.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace corvane {

struct MqttConnectionSettings {
    std::string host;
    std::uint16_t port = 1883;
    bool tls = false;
    std::optional<std::string> username;
    std::optional<std::string> password;
    std::string clientIdentifier;
    std::string willTopic;
    std::string willPayload;
};

class MqttClient {
public:
    struct Handlers {
        std::function<void()> connected;
        // A readable reason: the refused connection or the lost socket.
        std::function<void(const std::string& reason)> disconnected;
    };

    virtual ~MqttClient() = default;

    virtual void connect(const MqttConnectionSettings& settings, Handlers handlers) = 0;
    virtual bool publish(const std::string& topic, const std::string& payload, bool retain) = 0;
    // Clean: the broker drops the will.
    virtual void disconnect() = 0;
};

}  // namespace corvane
