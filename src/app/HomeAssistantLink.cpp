// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/HomeAssistantLink.h"

#include <nlohmann/json.hpp>

#include "app/CorvaneModel.h"

namespace corvane {
namespace {

constexpr const char* kBrokerKey = "homeAssistantBrokerURL";
constexpr const char* kUserKey = "homeAssistantUser";
constexpr const char* kBaseTopicKey = "homeAssistantBaseTopic";
constexpr const char* kRoomKey = "homeAssistantRoom";

}  // namespace

HomeAssistantLink::HomeAssistantLink(HomeAssistantPublisher& publisher, DefaultsStore& defaults, std::string passwordFile,
                                     std::string hostName)
    : publisher_(publisher), defaults_(defaults), passwordFile_(std::move(passwordFile)), hostName_(std::move(hostName)) {
    settings_.brokerUrl = defaults_.string(kBrokerKey).value_or("");
    settings_.user = defaults_.string(kUserKey).value_or("");
    settings_.baseTopic = defaults_.string(kBaseTopicKey).value_or("");
    settings_.room = defaults_.string(kRoomKey).value_or("");
    if (const auto text = PrivateFile::read(passwordFile_)) {
        const auto stored = nlohmann::json::parse(*text, nullptr, false);
        if (stored.is_object() && stored.value("broker", "") == settings_.brokerUrl) settings_.password = stored.value("password", "");
    }
}

void HomeAssistantLink::attach(CorvaneModel& model, EventLoop& loop) {
    entities_ = std::make_unique<HomeAssistantEntities>(model, loop, publisher_, settings_.room.empty() ? hostName_ : settings_.room);
}

void HomeAssistantLink::start() { configure(settings_); }

void HomeAssistantLink::startForThisRun(const std::string& brokerUrl) {
    Settings settings = settings_;
    if (brokerUrl != settings_.brokerUrl) {
        settings.user.clear();
        settings.password.clear();
    }
    settings.brokerUrl = brokerUrl;
    configure(settings);
}

Result<Done, FileError> HomeAssistantLink::apply(Settings settings) {
    const bool passwordChanged = settings.password != settings_.password || settings.brokerUrl != settings_.brokerUrl;
    settings_ = std::move(settings);
    defaults_.setString(kBrokerKey, settings_.brokerUrl);
    defaults_.setString(kUserKey, settings_.user);
    defaults_.setString(kBaseTopicKey, settings_.baseTopic);
    defaults_.setString(kRoomKey, settings_.room);
    configure(settings_);
    if (!passwordChanged) return Done{};
    const nlohmann::json stored = {{"broker", settings_.brokerUrl}, {"password", settings_.password}};
    const auto written = PrivateFile::write(passwordFile_, stored.dump());
    if (!written) return fail(written.error());
    return Done{};
}

void HomeAssistantLink::configure(const Settings& settings) {
    if (entities_) entities_->setRoom(settings.room.empty() ? hostName_ : settings.room);
    publisher_.configure({settings.brokerUrl, settings.user.empty() ? std::nullopt : std::optional(settings.user),
                          settings.password.empty() ? std::nullopt : std::optional(settings.password), settings.baseTopic,
                          hostName_});
}

}  // namespace corvane
