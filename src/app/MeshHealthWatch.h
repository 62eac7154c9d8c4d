// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Watches the health of mesh nodes: a node that goes silent (nothing heard,
// of any kind, for its delay), comes back after a silence alert, or reports
// a low battery. Per node and opt-in, kept in the defaults store by node
// number; the guarded node of an armed guard is watched by default with its
// profile's delay. Owned by CorvaneModel, which feeds it what it hears and
// the guard and radio state; loop thread only.
//
// Silence runs on the monotonic clock, which on Linux stands still while the
// computer sleeps, and after a wake or a radio (re)connection every node
// gets kResumeGrace (or its own delay, when shorter) before it can be called
// silent: the radio heard nothing meanwhile, so that time proves nothing. While no radio is connected nothing
// becomes silent.
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "app/ChangeSignal.h"
#include "app/ports/DefaultsStore.h"
#include "app/ports/EventLoop.h"
#include "app/ports/NotificationCenter.h"
#include "core/BatteryAlertHysteresis.h"
#include "core/GuardProfile.h"
#include "core/MeshNode.h"
#include "core/MeshSilenceRule.h"

namespace corvane {

class MeshHealthWatch {
public:
    using Clock = MeshSilenceRule::Clock;
    static constexpr std::chrono::seconds kDefaultSilenceDelay = std::chrono::hours(1);
    static constexpr std::uint32_t kDefaultBatteryThreshold = 20;
    static constexpr std::chrono::seconds kResumeGrace = std::chrono::minutes(5);

    struct Guard {
        std::optional<std::uint32_t> node;
        bool armed = false;
        GuardProfile profile = GuardProfile::general;
        friend bool operator==(const Guard&, const Guard&) = default;
    };

    MeshHealthWatch(EventLoop& loop, DefaultsStore& defaults, NotificationCenter& notifications,
                    std::function<std::string(std::uint32_t)> displayName);
    MeshHealthWatch(const MeshHealthWatch&) = delete;
    MeshHealthWatch& operator=(const MeshHealthWatch&) = delete;

    ChangeSignal& changed() { return changed_; }

    // The user's choices; absent = off.
    std::optional<std::chrono::seconds> silenceDelay(std::uint32_t node) const;
    void setSilenceDelay(std::uint32_t node, std::optional<std::chrono::seconds> delay);
    std::optional<std::uint32_t> batteryThreshold(std::uint32_t node) const;
    void setBatteryThreshold(std::uint32_t node, std::optional<std::uint32_t> percent);
    // The guarded node's own silence alert; on unless switched off.
    bool guardSilenceAlert() const;
    void setGuardSilenceAlert(bool on);

    // The delay in force for a node: its own, or for the armed guard's node
    // the shorter of its own and the profile's.
    std::optional<std::chrono::seconds> effectiveDelay(std::uint32_t node) const;
    bool isSilent(std::uint32_t node) const;
    // Wall-clock time the node was last heard in this run (absent: never).
    std::optional<Timestamp> lastHeard(std::uint32_t node) const;

    // What the model hears and knows.
    void heard(const MeshNode& node);
    void heardFrom(std::uint32_t sender);
    void setGuard(Guard guard);
    void setRadioConnected(bool connected);
    void didWake();

private:
    struct Health {
        Clock::time_point heardAt;
        Timestamp lastHeard;
        bool silent = false;
        BatteryAlertHysteresis battery;
    };

    void heardAt(std::uint32_t node, Clock::time_point at, Timestamp wall);
    void reschedule();
    Clock::time_point deadline(const Health& health, std::chrono::seconds delay) const;
    void check();
    void alertSilent(std::uint32_t node, std::chrono::seconds delay);

    EventLoop& loop_;
    DefaultsStore& defaults_;
    NotificationCenter& notifications_;
    std::function<std::string(std::uint32_t)> displayName_;
    ChangeSignal changed_;
    std::map<std::uint32_t, Health> nodes_;
    Guard guard_;
    bool radioConnected_ = false;
    // The last wake or radio (re)connection.
    Clock::time_point resumedAt_{};
    TimerHandle timer_;
};

}  // namespace corvane
