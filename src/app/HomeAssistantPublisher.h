// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Mirrors Corvane into Home Assistant over MQTT. It stands in the
// notification path as a fan-out: every notification goes on to the desktop
// unchanged, and each alert is also published as an `event` entity with the
// same title and body. Availability is "online"/"offline" (the broker's last
// will) on `<base>/availability`; discovery and state are retained and sent
// again after every reconnect. Lost connections are retried with back-off.
// Loop thread only.
#include <chrono>
#include <map>
#include <optional>
#include <string>

#include "app/ChangeSignal.h"
#include "app/MqttBrokerAddress.h"
#include "app/ports/EventLoop.h"
#include "app/ports/MqttClient.h"
#include "app/ports/NotificationCenter.h"

namespace corvane {

class HomeAssistantPublisher final : public NotificationCenter {
public:
    struct Configuration {
        std::string brokerUrl;
        std::optional<std::string> username;
        std::optional<std::string> password;
        // "corvane/<host>" when empty.
        std::string baseTopic;
        std::string hostName;
    };
    enum class Status { notConfigured, connecting, connected, retrying };

    static constexpr std::chrono::seconds kFirstRetry{1};
    static constexpr std::chrono::seconds kLongestRetry{60};

    HomeAssistantPublisher(EventLoop& loop, MqttClient& client, NotificationCenter& next);
    ~HomeAssistantPublisher() override;
    HomeAssistantPublisher(const HomeAssistantPublisher&) = delete;
    HomeAssistantPublisher& operator=(const HomeAssistantPublisher&) = delete;

    // Replaces the running configuration; an empty broker URL stops publishing.
    void configure(const Configuration& configuration);

    Status status() const { return status_; }
    // "Connected", "Cannot reach the broker · retrying", "Not configured".
    std::string statusText() const;
    ChangeSignal& changed() { return changed_; }
    const std::string& baseTopic() const { return baseTopic_; }

    // Retained: kept and sent again after each reconnect.
    void publishState(const std::string& topic, const std::string& payload);

    void requestAuthorization() override { next_.requestAuthorization(); }
    void post(const LocalNotification& notification) override;

private:
    void attempt();
    void onConnected();
    void onDisconnected();
    void setStatus(Status status);
    void publishDiscovery();

    EventLoop& loop_;
    MqttClient& client_;
    NotificationCenter& next_;
    std::optional<MqttConnectionSettings> settings_;
    std::string baseTopic_;
    std::string nodeIdentifier_;
    std::string deviceName_;
    std::map<std::string, std::string> retained_;
    Status status_ = Status::notConfigured;
    std::chrono::steady_clock::duration nextRetry_ = kFirstRetry;
    TimerHandle retry_;
    ChangeSignal changed_;
};

}  // namespace corvane
