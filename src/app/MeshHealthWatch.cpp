// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/MeshHealthWatch.h"

#include <algorithm>

namespace corvane {
namespace {

std::string silenceKey(std::uint32_t node) { return "meshSilenceDelay." + std::to_string(node); }
std::string batteryKey(std::uint32_t node) { return "meshBatteryThreshold." + std::to_string(node); }
constexpr const char* kGuardSilenceKey = "meshGuardSilenceAlert";

}  // namespace

MeshHealthWatch::MeshHealthWatch(EventLoop& loop, DefaultsStore& defaults, NotificationCenter& notifications,
                                 std::function<std::string(std::uint32_t)> displayName)
    : loop_(loop), defaults_(defaults), notifications_(notifications), displayName_(std::move(displayName)) {}

std::optional<std::chrono::seconds> MeshHealthWatch::silenceDelay(std::uint32_t node) const {
    const auto stored = defaults_.number(silenceKey(node));
    if (!stored || !(*stored >= 1) || *stored > 7 * 86400.0) return std::nullopt;
    return std::chrono::seconds(static_cast<std::int64_t>(*stored));
}

void MeshHealthWatch::setSilenceDelay(std::uint32_t node, std::optional<std::chrono::seconds> delay) {
    if (delay) {
        defaults_.setNumber(silenceKey(node), static_cast<double>(std::max(*delay, std::chrono::seconds(1)).count()));
        notifications_.requestAuthorization();
    } else {
        defaults_.remove(silenceKey(node));
    }
    reschedule();
    changed_.notify();
}

std::optional<std::uint32_t> MeshHealthWatch::batteryThreshold(std::uint32_t node) const {
    const auto stored = defaults_.number(batteryKey(node));
    if (!stored || !(*stored >= 1) || *stored > 99) return std::nullopt;
    return static_cast<std::uint32_t>(*stored);
}

void MeshHealthWatch::setBatteryThreshold(std::uint32_t node, std::optional<std::uint32_t> percent) {
    if (percent) {
        defaults_.setNumber(batteryKey(node), std::clamp<std::uint32_t>(*percent, 1, 99));
        notifications_.requestAuthorization();
    } else {
        defaults_.remove(batteryKey(node));
    }
    // A new threshold judges the next report afresh.
    if (const auto it = nodes_.find(node); it != nodes_.end()) it->second.battery = {};
    changed_.notify();
}

bool MeshHealthWatch::guardSilenceAlert() const { return defaults_.boolean(kGuardSilenceKey).value_or(true); }

void MeshHealthWatch::setGuardSilenceAlert(bool on) {
    defaults_.setBoolean(kGuardSilenceKey, on);
    reschedule();
    changed_.notify();
}

std::optional<std::chrono::seconds> MeshHealthWatch::effectiveDelay(std::uint32_t node) const {
    auto own = silenceDelay(node);
    if (guard_.armed && guard_.node == node && guardSilenceAlert()) {
        const auto guarded = MeshSilenceRule::guardedDelay(guard_.profile);
        return own ? std::min(*own, guarded) : guarded;
    }
    return own;
}

bool MeshHealthWatch::isSilent(std::uint32_t node) const {
    const auto it = nodes_.find(node);
    return it != nodes_.end() && it->second.silent;
}

std::optional<Timestamp> MeshHealthWatch::lastHeard(std::uint32_t node) const {
    const auto it = nodes_.find(node);
    if (it == nodes_.end()) return std::nullopt;
    return it->second.lastHeard;
}

void MeshHealthWatch::heard(const MeshNode& node) {
    const Timestamp wall = loop_.now();
    const auto at = MeshSilenceRule::heardAt(loop_.monotonicNow(), wall, node.lastSeen);
    heardAt(node.number, at, node.lastSeen && *node.lastSeen < wall ? *node.lastSeen : wall);
    const auto threshold = batteryThreshold(node.number);
    if (!threshold) return;
    auto& health = nodes_.at(node.number);
    if (health.battery.update(node.batteryLevel, *threshold) != BatteryAlertHysteresis::Crossing::becameLow) return;
    const std::string name = displayName_(node.number);
    notifications_.post({.identifier = "mesh-node-battery-" + std::to_string(node.number),
                         .title = name + " battery low",
                         .body = "Battery at " + std::to_string(*node.batteryLevel) + " % (alert at " +
                                 std::to_string(*threshold) + " % or below).",
                         .sound = LocalNotification::Sound::standard});
}

void MeshHealthWatch::heardFrom(std::uint32_t sender) { heardAt(sender, loop_.monotonicNow(), loop_.now()); }

void MeshHealthWatch::heardAt(std::uint32_t node, Clock::time_point at, Timestamp wall) {
    auto [it, added] = nodes_.try_emplace(node, Health{.heardAt = at, .lastHeard = wall, .silent = false, .battery = {}});
    Health& health = it->second;
    if (!added) {
        // Old news (a replayed node database) never moves the clock back.
        if (at <= health.heardAt) return;
        // In words the wall clock's span: nothing was heard in a sleep either.
        const auto silence = std::chrono::duration_cast<std::chrono::seconds>(std::max(wall - health.lastHeard, Timestamp::duration::zero()));
        health.heardAt = at;
        health.lastHeard = std::max(health.lastHeard, wall);
        if (health.silent) {
            health.silent = false;
            notifications_.post({.identifier = "mesh-node-returned-" + std::to_string(node),
                                 .title = displayName_(node) + " is heard again",
                                 .body = "Heard again after " + MeshSilenceRule::delayText(silence) + " of silence.",
                                 .sound = LocalNotification::Sound::standard});
        }
    }
    reschedule();
    changed_.notify();
}

void MeshHealthWatch::setGuard(Guard guard) {
    if (guard == guard_) return;
    guard_ = guard;
    reschedule();
    changed_.notify();
}

void MeshHealthWatch::setRadioConnected(bool connected) {
    if (connected == radioConnected_) return;
    radioConnected_ = connected;
    if (connected) resumedAt_ = loop_.monotonicNow();
    reschedule();
}

void MeshHealthWatch::didWake() {
    resumedAt_ = loop_.monotonicNow();
    reschedule();
}

void MeshHealthWatch::reschedule() {
    timer_.cancel();
    if (!radioConnected_) return;
    std::optional<Clock::time_point> next;
    for (const auto& [node, health] : nodes_) {
        const auto delay = effectiveDelay(node);
        if (!delay || health.silent) continue;
        const auto due = deadline(health, *delay);
        if (!next || due < *next) next = due;
    }
    if (!next) return;
    const auto wait = std::max(*next - loop_.monotonicNow(), Clock::duration::zero());
    timer_ = loop_.singleShot(wait, [this] { check(); });
}

MeshHealthWatch::Clock::time_point MeshHealthWatch::deadline(const Health& health, std::chrono::seconds delay) const {
    return MeshSilenceRule::deadline(health.heardAt, delay, resumedAt_ + std::min(delay, kResumeGrace));
}

void MeshHealthWatch::check() {
    const auto now = loop_.monotonicNow();
    bool any = false;
    for (auto& [node, health] : nodes_) {
        const auto delay = effectiveDelay(node);
        if (!delay || health.silent || deadline(health, *delay) > now) continue;
        health.silent = true;
        any = true;
        alertSilent(node, *delay);
    }
    reschedule();
    if (any) changed_.notify();
}

void MeshHealthWatch::alertSilent(std::uint32_t node, std::chrono::seconds delay) {
    const std::string name = displayName_(node);
    const std::string delayText = MeshSilenceRule::delayText(delay);
    const bool guarded = guard_.armed && guard_.node == node && guardSilenceAlert();
    LocalNotification alert;
    alert.identifier = "mesh-node-silent-" + std::to_string(node);
    if (guarded) {
        alert.title = guard_.profile == GuardProfile::bicycle ? "Bicycle tracker went silent" : "Guarded device went silent";
        alert.body = "Nothing heard from " + name + " for " + delayText +
                     " while the guard is armed. It may have been switched off, run out of battery or been taken "
                     "out of range.";
        alert.sound = LocalNotification::Sound::critical;
    } else {
        alert.title = name + " went silent";
        alert.body = "Nothing heard from it for " + delayText + ". It may be switched off, out of battery or out of range.";
    }
    notifications_.post(alert);
}

}  // namespace corvane
