// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/HomeAssistantEntities.h"

#include <algorithm>
#include <cmath>

#include <nlohmann/json.hpp>

#include "app/CorvaneModel.h"
#include "core/BluetoothDistance.h"
#include "core/MeshMath.h"

namespace corvane {
namespace {

using nlohmann::json;

json measurement(const std::string& name, const std::string& stateTopic, const std::string& valueKey, const char* deviceClass,
                 const char* unit) {
    return {{"name", name},
            {"state_topic", stateTopic},
            {"value_template", "{{ value_json." + valueKey + " }}"},
            {"device_class", deviceClass},
            {"unit_of_measurement", unit},
            {"state_class", "measurement"}};
}

json presenceTracker(const std::string& name, const std::string& stateTopic, const char* sourceType) {
    return {{"name", name}, {"state_topic", stateTopic}, {"payload_home", "home"}, {"payload_not_home", "not_home"},
            {"source_type", sourceType}};
}

std::chrono::steady_clock::duration secondsFromNow(double seconds) {
    return std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(seconds));
}

// A room name as one topic level: no level separator, no wildcards.
std::string roomLevel(std::string room) {
    std::ranges::replace_if(room, [](char c) { return c == '/' || c == '+' || c == '#'; }, '_');
    return room;
}

}  // namespace

HomeAssistantEntities::HomeAssistantEntities(CorvaneModel& model, EventLoop& loop, HomeAssistantPublisher& publisher,
                                             std::string room)
    : model_(model), loop_(loop), publisher_(publisher), room_(roomLevel(std::move(room))), refreshTask_(loop, [this] { refresh(); }) {
    modelChanged_ = model_.changed().subscribe([this] { refreshTask_.request(); });
    bluetoothChanged_ = model_.bluetoothTrackers().changed().subscribe([this] { refreshTask_.request(); });
    networkChanged_ = model_.localNetwork().changed().subscribe([this] { refreshTask_.request(); });
    publisherChanged_ = publisher_.changed().subscribe([this] { refreshTask_.request(); });
    refreshTask_.request();
}

void HomeAssistantEntities::setRoom(std::string room) { room_ = roomLevel(std::move(room)); }

void HomeAssistantEntities::refresh() {
    // Without a broker nothing is kept: configuring one brings a refresh.
    if (publisher_.status() == HomeAssistantPublisher::Status::notConfigured) return;
    Duration nextChange = Duration::max();
    refreshBluetooth(nextChange);
    refreshNetwork(nextChange);
    refreshGuard();
    nextChange_.cancel();
    if (nextChange != Duration::max()) nextChange_ = loop_.singleShot(nextChange, [this] { refreshTask_.request(); });
}

void HomeAssistantEntities::refreshBluetooth(Duration& nextChange) {
    const auto& trackers = model_.bluetoothTrackers();
    const Timestamp now = loop_.now();
    std::set<std::string> current;
    for (const auto& device : trackers.trackedDevices()) {
        const std::string id = HomeAssistantPublisher::objectIdentifier(device.id.string());
        const std::string object = "bt_" + id;
        const std::string folder = "bluetooth/" + id;
        current.insert(object);
        publisher_.setEntity("device_tracker", object, presenceTracker(device.name, "~/" + folder + "/state", "bluetooth_le"));
        publisher_.setEntity("sensor", object + "_rssi",
                             measurement(device.name + " signal", "~/" + folder + "/signal", "rssi", "signal_strength", "dBm"));
        publisher_.setEntity("sensor", object + "_distance",
                             measurement(device.name + " distance", "~/" + folder + "/signal", "distance", "distance", "m"));

        const double silent = secondsBetween(device.lastSeen, now);
        const bool home = silent < device.lossAlertDelay;
        publisher_.setState(folder + "/state", home ? "home" : "not_home");
        if (home) nextChange = std::min(nextChange, secondsFromNow(device.lossAlertDelay - std::max(silent, 0.0)));

        const auto nearby = std::ranges::find(trackers.devices(), device.id, &DiscoveredTracker::id);
        const double rssi = nearby != trackers.devices().end() ? nearby->smoothedRSSI : device.lastRSSI;
        const double distance = bluetoothDistanceMetres(rssi);
        publisher_.setState(folder + "/signal", json{{"rssi", std::round(rssi * 10) / 10}, {"distance", distance}}.dump());
        if (nearby == trackers.devices().end()) continue;
        auto [reported, first] = roomReported_.try_emplace(object, nearby->lastSeen);
        if (!first && reported->second >= nearby->lastSeen) continue;
        reported->second = nearby->lastSeen;
        publisher_.publishMoment("room_presence/" + room_,
                                 json{{"id", device.id.string()}, {"name", device.name}, {"distance", distance}}.dump());
    }
    removeMissing(bluetooth_, current, {"device_tracker/", "sensor/_rssi", "sensor/_distance"}, "bluetooth/");
}

void HomeAssistantEntities::refreshNetwork(Duration& nextChange) {
    const auto monotonicNow = loop_.monotonicNow();
    std::set<std::string> current;
    for (const auto& device : model_.localNetwork().devices()) {
        if (!device.isTracked) continue;
        const std::string id = HomeAssistantPublisher::objectIdentifier(device.id);
        const std::string object = "net_" + id;
        const std::string folder = "network/" + id;
        current.insert(object);
        publisher_.setEntity("device_tracker", object, presenceTracker(device.name, "~/" + folder + "/state", "router"));
        bool home = device.isOnline;
        if (home) {
            seenOnline_.insert(device.id);
            offlineSince_.erase(device.id);
        } else if (seenOnline_.contains(device.id)) {
            const auto since = offlineSince_.try_emplace(device.id, monotonicNow).first->second;
            const auto grace = secondsFromNow(device.lossAlertDelay);
            home = monotonicNow - since < grace;
            if (home) nextChange = std::min(nextChange, since + grace - monotonicNow);
        }
        publisher_.setState(folder + "/state", home ? "home" : "not_home");
    }
    removeMissing(network_, current, {"device_tracker/"}, "network/");
}

void HomeAssistantEntities::refreshGuard() {
    publisher_.setEntity("sensor", "guard", {{"name", "Guard"}, {"state_topic", "~/guard/state"}, {"icon", "mdi:shield-lock"}});
    publisher_.setState("guard/state", model_.parkingStatus());
    const auto guarded = model_.guardedNodeID();
    const auto node = guarded ? std::ranges::find(model_.nodes(), *guarded, &MeshNode::number) : model_.nodes().end();
    if (node == model_.nodes().end()) {
        if (!guardTracked_) return;
        guardTracked_ = false;
        publisher_.removeEntity("device_tracker", "guarded");
        publisher_.removeEntity("sensor", "guarded_battery");
        publisher_.clearState("guarded/attributes");
        publisher_.clearState("guarded/battery");
        return;
    }
    guardTracked_ = true;
    // No state topic: Home Assistant places a GPS tracker in its zones itself.
    publisher_.setEntity("device_tracker", "guarded",
                         {{"name", model_.displayName(*guarded)}, {"json_attributes_topic", "~/guarded/attributes"}, {"source_type", "gps"}});
    publisher_.setEntity("sensor", "guarded_battery",
                         {{"name", model_.displayName(*guarded) + " battery"},
                          {"state_topic", "~/guarded/battery"},
                          {"device_class", "battery"},
                          {"unit_of_measurement", "%"},
                          {"state_class", "measurement"}});
    if (const auto& position = node->position) {
        publisher_.setState("guarded/attributes", json{{"latitude", position->latitude},
                                                       {"longitude", position->longitude},
                                                       {"gps_accuracy", MeshMath::precisionBoxMeters(*position)}}
                                                      .dump());
    }
    // 101 is the radios' word for "on external power".
    if (node->batteryLevel) publisher_.setState("guarded/battery", std::to_string(std::min(*node->batteryLevel, 100u)));
}

void HomeAssistantEntities::removeMissing(std::set<std::string>& published, const std::set<std::string>& current,
                                          const std::set<std::string>& components, const std::string& stateFolder) {
    for (const auto& object : published) {
        if (current.contains(object)) continue;
        // Each entry is "component/suffix" of the entity's object id.
        for (const auto& entry : components) {
            const auto slash = entry.find('/');
            publisher_.removeEntity(entry.substr(0, slash), object + entry.substr(slash + 1));
        }
        const std::string id = object.substr(object.find('_') + 1);
        publisher_.clearState(stateFolder + id + "/state");
        publisher_.clearState(stateFolder + id + "/signal");
        roomReported_.erase(object);
    }
    published = current;
}

}  // namespace corvane
