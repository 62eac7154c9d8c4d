// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/HomeAssistantPublisher.h"

#include <algorithm>

#include <nlohmann/json.hpp>

namespace corvane {
namespace {

constexpr const char* kDiscoveryPrefix = "homeassistant";

}  // namespace

std::string HomeAssistantPublisher::objectIdentifier(const std::string& text) {
    std::string result = text;
    std::ranges::replace_if(result, [](char c) { return !(std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-'); }, '_');
    return result;
}

HomeAssistantPublisher::HomeAssistantPublisher(EventLoop& loop, MqttClient& client, NotificationCenter& next)
    : loop_(loop), client_(client), next_(next) {
    setEntity("event", "alert",
              {{"name", "Alert"}, {"state_topic", "~/alert"}, {"event_types", {"alert"}}, {"json_attributes_topic", "~/alert"}});
}

HomeAssistantPublisher::~HomeAssistantPublisher() {
    if (status_ == Status::connected) {
        client_.publish(baseTopic_ + "/availability", "offline", true);
        client_.disconnect();
    }
}

void HomeAssistantPublisher::configure(const Configuration& configuration) {
    retry_.cancel();
    if (status_ == Status::connected || status_ == Status::connecting) client_.disconnect();
    const auto address = MqttBrokerAddress::parse(configuration.brokerUrl);
    if (!address) {
        settings_.reset();
        setStatus(Status::notConfigured);
        return;
    }
    baseTopic_ = configuration.baseTopic.empty() ? "corvane/" + configuration.hostName : configuration.baseTopic;
    while (baseTopic_.size() > 1 && baseTopic_.back() == '/') baseTopic_.pop_back();
    nodeIdentifier_ = objectIdentifier(baseTopic_);
    deviceName_ = "Corvane " + configuration.hostName;
    MqttConnectionSettings settings;
    settings.host = address->host;
    settings.port = address->port;
    settings.tls = address->tls;
    settings.username = configuration.username;
    settings.password = configuration.password;
    settings.clientIdentifier = nodeIdentifier_;
    settings.willTopic = baseTopic_ + "/availability";
    settings.willPayload = "offline";
    settings_ = settings;
    nextRetry_ = kFirstRetry;
    attempt();
}

std::string HomeAssistantPublisher::statusText() const {
    switch (status_) {
    case Status::notConfigured: return "Not configured";
    case Status::connecting: return "Connecting…";
    case Status::connected: return "Connected";
    case Status::retrying: return "Cannot reach the broker · retrying";
    }
    return {};
}

void HomeAssistantPublisher::setEntity(const std::string& component, const std::string& objectId, nlohmann::json config) {
    const std::string key = component + "/" + objectIdentifier(objectId);
    removedEntities_.erase(key);
    auto [entry, added] = entities_.try_emplace(key, config);
    if (!added) {
        if (entry->second == config) return;
        entry->second = std::move(config);
    }
    if (status_ == Status::connected) client_.publish(discoveryTopic(key), discoveryPayload(key, entry->second), true);
}

void HomeAssistantPublisher::removeEntity(const std::string& component, const std::string& objectId) {
    const std::string key = component + "/" + objectIdentifier(objectId);
    if (entities_.erase(key) == 0) return;
    if (status_ == Status::connected) {
        client_.publish(discoveryTopic(key), "", true);
    } else {
        removedEntities_.insert(key);
    }
}

void HomeAssistantPublisher::setState(const std::string& suffix, const std::string& payload) {
    clearedStates_.erase(suffix);
    auto [entry, added] = states_.try_emplace(suffix, payload);
    if (!added) {
        if (entry->second == payload) return;
        entry->second = payload;
    }
    if (status_ == Status::connected) client_.publish(baseTopic_ + "/" + suffix, payload, true);
}

void HomeAssistantPublisher::clearState(const std::string& suffix) {
    if (states_.erase(suffix) == 0) return;
    if (status_ == Status::connected) {
        client_.publish(baseTopic_ + "/" + suffix, "", true);
    } else {
        clearedStates_.insert(suffix);
    }
}

void HomeAssistantPublisher::publishMoment(const std::string& topic, const std::string& payload) {
    if (status_ == Status::connected) client_.publish(topic, payload, false);
}

void HomeAssistantPublisher::post(const LocalNotification& notification) {
    next_.post(notification);
    if (notification.kind != LocalNotification::Kind::alert || status_ != Status::connected) return;
    // Events are moments, not state: never retained, so a restarted Home
    // Assistant does not replay an old alarm.
    const nlohmann::json event = {{"event_type", "alert"}, {"title", notification.title}, {"body", notification.body},
                                  {"identifier", notification.identifier},
                                  {"critical", notification.sound == LocalNotification::Sound::critical}};
    client_.publish(baseTopic_ + "/alert", event.dump(), false);
}

void HomeAssistantPublisher::attempt() {
    if (!settings_) return;
    setStatus(status_ == Status::retrying ? Status::retrying : Status::connecting);
    client_.connect(*settings_, {[this] { onConnected(); }, [this](const std::string&) { onDisconnected(); }});
}

void HomeAssistantPublisher::onConnected() {
    nextRetry_ = kFirstRetry;
    setStatus(Status::connected);
    client_.publish(baseTopic_ + "/availability", "online", true);
    for (const auto& key : removedEntities_) client_.publish(discoveryTopic(key), "", true);
    for (const auto& suffix : clearedStates_) client_.publish(baseTopic_ + "/" + suffix, "", true);
    removedEntities_.clear();
    clearedStates_.clear();
    // States first: an entity that appears finds its state already retained.
    for (const auto& [suffix, payload] : states_) client_.publish(baseTopic_ + "/" + suffix, payload, true);
    for (const auto& [key, config] : entities_) client_.publish(discoveryTopic(key), discoveryPayload(key, config), true);
}

void HomeAssistantPublisher::onDisconnected() {
    if (!settings_) return;
    setStatus(Status::retrying);
    retry_ = loop_.singleShot(nextRetry_, [this] { attempt(); });
    nextRetry_ = std::min<std::chrono::steady_clock::duration>(nextRetry_ * 2, kLongestRetry);
}

void HomeAssistantPublisher::setStatus(Status status) {
    if (status_ == status) return;
    status_ = status;
    changed_.notify();
}

std::string HomeAssistantPublisher::discoveryTopic(const std::string& key) const {
    const auto slash = key.find('/');
    return std::string(kDiscoveryPrefix) + "/" + key.substr(0, slash) + "/" + nodeIdentifier_ + "/" + key.substr(slash + 1) +
           "/config";
}

std::string HomeAssistantPublisher::discoveryPayload(const std::string& key, const nlohmann::json& config) const {
    nlohmann::json payload = config;
    payload["~"] = baseTopic_;
    payload["unique_id"] = nodeIdentifier_ + "_" + key.substr(key.find('/') + 1);
    payload["availability_topic"] = "~/availability";
    payload["device"] = {{"identifiers", {nodeIdentifier_}}, {"name", deviceName_}, {"manufacturer", "Corvane"}};
    return payload.dump();
}

}  // namespace corvane
