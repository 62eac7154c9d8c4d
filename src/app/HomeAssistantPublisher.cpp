// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/HomeAssistantPublisher.h"

#include <algorithm>

#include <nlohmann/json.hpp>

namespace corvane {
namespace {

constexpr const char* kDiscoveryPrefix = "homeassistant";

// Discovery object ids allow only [a-zA-Z0-9_-].
std::string objectIdentifier(const std::string& text) {
    std::string result = text;
    std::ranges::replace_if(result, [](char c) { return !(std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-'); }, '_');
    return result;
}

}  // namespace

HomeAssistantPublisher::HomeAssistantPublisher(EventLoop& loop, MqttClient& client, NotificationCenter& next)
    : loop_(loop), client_(client), next_(next) {}

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

void HomeAssistantPublisher::publishState(const std::string& topic, const std::string& payload) {
    retained_[topic] = payload;
    if (status_ == Status::connected) client_.publish(topic, payload, true);
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
    publishDiscovery();
    for (const auto& [topic, payload] : retained_) client_.publish(topic, payload, true);
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

void HomeAssistantPublisher::publishDiscovery() {
    const nlohmann::json device = {{"identifiers", {nodeIdentifier_}}, {"name", deviceName_}, {"manufacturer", "Corvane"}};
    const nlohmann::json alert = {{"name", "Alert"},
                                  {"unique_id", nodeIdentifier_ + "_alert"},
                                  {"state_topic", baseTopic_ + "/alert"},
                                  {"event_types", {"alert"}},
                                  {"availability_topic", baseTopic_ + "/availability"},
                                  {"json_attributes_topic", baseTopic_ + "/alert"},
                                  {"device", device}};
    client_.publish(std::string(kDiscoveryPrefix) + "/event/" + nodeIdentifier_ + "/alert/config", alert.dump(), true);
}

}  // namespace corvane
