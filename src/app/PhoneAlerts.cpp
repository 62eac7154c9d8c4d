// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/PhoneAlerts.h"

#include <algorithm>

namespace corvane {
namespace {

constexpr const char* kEnabledKey = "phoneAlertsEnabled";
constexpr const char* kDeviceKey = "phoneAlertDevice";

std::string counted(std::size_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace

PhoneAlerts::PhoneAlerts(EventLoop& loop, DefaultsStore& defaults, PhoneAlertChannel* channel)
    : loop_(loop),
      defaults_(defaults),
      channel_(channel),
      enabled_(defaults.boolean(kEnabledKey).value_or(false)),
      device_(defaults.string(kDeviceKey).value_or("")),
      self_(std::make_shared<PhoneAlerts*>(this)) {
    if (channel_ != nullptr) channel_->setObserver([this] { channelChanged(); });
}

PhoneAlerts::~PhoneAlerts() {
    if (channel_ != nullptr) channel_->setObserver({});
}

bool PhoneAlerts::isServiceRunning() const { return channel_ != nullptr && channel_->isRunning(); }

const std::vector<PairedPhone>& PhoneAlerts::phones() const {
    static const std::vector<PairedPhone> none;
    return isServiceRunning() ? channel_->phones() : none;
}

const PairedPhone* PhoneAlerts::chosenPhone() const {
    if (device_.empty()) return nullptr;
    const auto& list = phones();
    auto found = std::find_if(list.begin(), list.end(), [this](const PairedPhone& p) { return p.id == device_; });
    if (found == list.end()) {
        found = std::find_if(list.begin(), list.end(), [this](const PairedPhone& p) { return p.name == device_; });
    }
    return found == list.end() ? nullptr : &*found;
}

std::string PhoneAlerts::status() const {
    if (!isServiceRunning()) return "KDE Connect is not running";
    if (phones().empty()) return "No paired phone";
    const PairedPhone* phone = chosenPhone();
    if (phone == nullptr) return "Not configured";
    const std::string dropped = dropped_ > 0 ? " · " + std::to_string(dropped_) + " dropped" : "";
    if (!phone->reachable && enabled_) {
        return "Phone not reachable · " + counted(waiting_.size(), "alert", "alerts") + " waiting" + dropped;
    }
    if (lastError_) return "Last delivery failed";
    if (lastSent_) return "Last alert sent at " + shortTime(*lastSent_) + dropped;
    return enabled_ ? "Enabled" : "Ready, but off";
}

void PhoneAlerts::setEnabled(bool enabled) {
    defaults_.setBoolean(kEnabledKey, enabled);
    enabled_ = enabled;
    // Alerts kept for a phone the user switched off are no longer wanted.
    if (!enabled) {
        waiting_.clear();
        expiry_.cancel();
    }
    forgetOutcome();
    changed_.notify();
}

void PhoneAlerts::setDevice(std::string id) {
    defaults_.setString(kDeviceKey, id);
    device_ = std::move(id);
    forgetOutcome();
    pump();
    changed_.notify();
}

void PhoneAlerts::useForThisRun(std::string idOrName) {
    enabled_ = true;
    device_ = std::move(idOrName);
    forgetOutcome();
    pump();
    changed_.notify();
}

void PhoneAlerts::forgetOutcome() {
    lastSent_.reset();
    lastError_.reset();
    dropped_ = 0;
}

void PhoneAlerts::send(std::string text) {
    if (!enabled_ || device_.empty()) return;
    // A new run of waiting starts its own count of what it had to drop.
    if (waiting_.empty() && !inFlight_) dropped_ = 0;
    waiting_.push_back({std::move(text), loop_.monotonicNow(), loop_.now()});
    if (waiting_.size() > kMaximumWaiting) {
        waiting_.pop_front();
        ++dropped_;
    }
    pump();
    scheduleExpiry();
    changed_.notify();
}

void PhoneAlerts::sendTest() {
    const PairedPhone* phone = chosenPhone();
    if (phone == nullptr) return;
    if (!phone->reachable) {
        lastError_ = "The phone is not reachable now.";
        changed_.notify();
        return;
    }
    deliver(phone->id, kTestText);
}

void PhoneAlerts::channelChanged() {
    pump();
    changed_.notify();
}

void PhoneAlerts::pump() {
    dropExpired();
    if (inFlight_ || waiting_.empty()) return;
    const PairedPhone* phone = chosenPhone();
    if (phone == nullptr || !phone->reachable) return;
    const std::string text = std::move(waiting_.front().text);
    waiting_.pop_front();
    scheduleExpiry();
    deliver(phone->id, text);
}

void PhoneAlerts::deliver(const std::string& phoneID, const std::string& text) {
    inFlight_ = true;
    channel_->send(phoneID, text, [self = std::weak_ptr<PhoneAlerts*>(self_)](const std::optional<std::string>& error) {
        const auto alive = self.lock();
        if (!alive) return;
        PhoneAlerts& alerts = **alive;
        alerts.inFlight_ = false;
        alerts.lastError_ = error;
        if (!error) alerts.lastSent_ = alerts.loop_.now();
        alerts.pump();
        alerts.changed_.notify();
    });
}

// Suspend stops the monotonic clock but not the wall clock, and the wall
// clock may be set back: an alert is too old when either says so.
void PhoneAlerts::dropExpired() {
    const auto monotonicNow = loop_.monotonicNow();
    const Timestamp wallNow = loop_.now();
    const auto expired = [&](const Waiting& w) {
        return monotonicNow - w.queuedAt >= kMaximumWait || wallNow - w.queuedAtWallClock >= kMaximumWait;
    };
    std::size_t count = 0;
    while (!waiting_.empty() && expired(waiting_.front())) {
        waiting_.pop_front();
        ++count;
    }
    dropped_ += count;
}

void PhoneAlerts::scheduleExpiry() {
    if (waiting_.empty()) {
        expiry_.cancel();
        return;
    }
    const auto due = waiting_.front().queuedAt + kMaximumWait - loop_.monotonicNow();
    expiry_ = loop_.singleShot(std::max<EventLoop::Duration>(due, EventLoop::Duration::zero()), [this] {
        dropExpired();
        scheduleExpiry();
        changed_.notify();
    });
}

}  // namespace corvane
