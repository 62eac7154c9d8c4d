// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Mirrors Corvane into Home Assistant over MQTT. It stands in the
// notification path as a fan-out: every notification goes on to the desktop
// unchanged, and each alert is also published as an `event` entity with the
// same title and body. Availability is "online"/"offline" (the broker's last
// will) on `<base>/availability`; discovery and state are retained and sent
// again after every reconnect, so what changed while the broker was away
// arrives with the next connection. Entities and states are kept relative to
// the base topic: a new base republishes them all under it. Lost connections
// are retried with back-off. Loop thread only.
#include <chrono>
#include <map>
#include <set>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

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

    // Discovery object ids and topic levels allow only [a-zA-Z0-9_-].
    static std::string objectIdentifier(const std::string& text);

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

    // A discovery config under this guard's device. Topics in `config` start
    // with "~/" (the base topic); unique_id, availability and device are
    // added here. Retained; an unchanged config is not sent again.
    void setEntity(const std::string& component, const std::string& objectId, nlohmann::json config);
    // An empty retained config: Home Assistant drops the entity.
    void removeEntity(const std::string& component, const std::string& objectId);
    // Retained at `<base>/<suffix>`; an unchanged payload is not sent again.
    void setState(const std::string& suffix, const std::string& payload);
    // Clears the retained message at `<base>/<suffix>`.
    void clearState(const std::string& suffix);
    // A moment, not state: sent now if connected, never retained or queued.
    void publishMoment(const std::string& topic, const std::string& payload);

    void requestAuthorization() override { next_.requestAuthorization(); }
    void post(const LocalNotification& notification) override;

private:
    void attempt();
    void onConnected();
    void onDisconnected();
    void setStatus(Status status);
    std::string discoveryTopic(const std::string& key) const;
    std::string discoveryPayload(const std::string& key, const nlohmann::json& config) const;

    EventLoop& loop_;
    MqttClient& client_;
    NotificationCenter& next_;
    std::optional<MqttConnectionSettings> settings_;
    std::string baseTopic_;
    std::string nodeIdentifier_;
    std::string deviceName_;
    // Keyed by "component/objectId" and by state suffix.
    std::map<std::string, nlohmann::json> entities_;
    std::map<std::string, std::string> states_;
    // Removals the broker has not heard of yet.
    std::set<std::string> removedEntities_;
    std::set<std::string> clearedStates_;
    Status status_ = Status::notConfigured;
    std::chrono::steady_clock::duration nextRetry_ = kFirstRetry;
    TimerHandle retry_;
    ChangeSignal changed_;
};

}  // namespace corvane
