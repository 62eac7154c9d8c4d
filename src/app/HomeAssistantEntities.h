// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the model knows, as Home Assistant entities through the publisher:
// - each tracked Bluetooth device: a device_tracker (home until its loss
//   delay has passed without a signal), its smoothed strength and estimated
//   distance, and room-presence messages on "room_presence/<room>", the
//   format Home Assistant's mqtt_room sensor reads from several rooms;
// - each tracked network device: a device_tracker, home until it has been
//   offline for its grace delay;
// - the guarded mesh node: a GPS device_tracker (a shared box's size is its
//   accuracy), its battery, and the guard state.
// Entities of devices no longer tracked are removed. Reads the model on its
// change signals, once per loop turn, and again when a delay runs out.
// Loop thread only.
#include <chrono>
#include <map>
#include <set>
#include <string>
#include <unordered_map>

#include "app/ChangeSignal.h"
#include "app/CoalescedTask.h"
#include "app/HomeAssistantPublisher.h"
#include "app/ports/EventLoop.h"
#include "core/DateTime.h"

namespace corvane {

class CorvaneModel;

class HomeAssistantEntities {
public:
    HomeAssistantEntities(CorvaneModel& model, EventLoop& loop, HomeAssistantPublisher& publisher, std::string room);
    HomeAssistantEntities(const HomeAssistantEntities&) = delete;
    HomeAssistantEntities& operator=(const HomeAssistantEntities&) = delete;

    // The room of the room-presence messages; not blank.
    void setRoom(std::string room);

private:
    using Duration = std::chrono::steady_clock::duration;

    void refresh();
    void refreshBluetooth(Duration& nextChange);
    void refreshNetwork(Duration& nextChange);
    void refreshGuard();
    void removeMissing(std::set<std::string>& published, const std::set<std::string>& current,
                       const std::set<std::string>& components, const std::string& stateFolder);

    CorvaneModel& model_;
    EventLoop& loop_;
    HomeAssistantPublisher& publisher_;
    std::string room_;
    CoalescedTask refreshTask_;
    TimerHandle nextChange_;
    // Object ids with entities at the broker.
    std::set<std::string> bluetooth_;
    std::set<std::string> network_;
    bool guardTracked_ = false;
    // The reception each device's last room message told of.
    std::map<std::string, Timestamp> roomReported_;
    std::unordered_map<std::string, std::chrono::steady_clock::time_point> offlineSince_;
    std::set<std::string> seenOnline_;
    ChangeSignal::Subscription modelChanged_;
    ChangeSignal::Subscription bluetoothChanged_;
    ChangeSignal::Subscription networkChanged_;
    ChangeSignal::Subscription publisherChanged_;
};

}  // namespace corvane
