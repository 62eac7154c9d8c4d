// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Alerts sent on to the user's phone as one line each ("title: body"),
// through a PhoneAlertChannel (KDE Connect in production), beside the
// desktop notification. Keeps the choice of phone and the on/off switch in
// the defaults store ("phoneAlertsEnabled", "phoneAlertDevice"); the headless
// mode may choose a phone for one run without storing it.
//
// An alert for a phone that cannot be reached now waits, and goes out when
// the phone is reachable again, oldest first: at most 20 wait, none longer
// than an hour, and what is dropped is counted in the status. One alert is
// handed to the channel at a time and leaves the queue as it is handed over,
// so none is ever sent twice.
//
// Owned by CorvaneModel; loop thread only. Publishes through `changed()`
// (also when the channel's phones change) and observers re-read.
#include <chrono>
#include <cstddef>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/ChangeSignal.h"
#include "app/ports/DefaultsStore.h"
#include "app/ports/EventLoop.h"
#include "app/ports/PhoneAlertChannel.h"

namespace corvane {

class PhoneAlerts {
public:
    static constexpr std::size_t kMaximumWaiting = 20;
    static constexpr std::chrono::hours kMaximumWait{1};
    static constexpr const char* kTestText = "Corvane test alert. Alerts from this computer reach this phone.";

    // Without a channel (tests, benchmarks) the service reads as not running.
    PhoneAlerts(EventLoop& loop, DefaultsStore& defaults, PhoneAlertChannel* channel);
    ~PhoneAlerts();
    PhoneAlerts(const PhoneAlerts&) = delete;
    PhoneAlerts& operator=(const PhoneAlerts&) = delete;

    ChangeSignal& changed() { return changed_; }

    bool enabled() const { return enabled_; }
    // A phone's id, or for a headless run also its name.
    const std::string& device() const { return device_; }
    bool isServiceRunning() const;
    const std::vector<PairedPhone>& phones() const;
    // The paired phone `device()` names (by id first, then by name).
    const PairedPhone* chosenPhone() const;
    std::size_t waitingCount() const { return waiting_.size(); }
    std::size_t droppedCount() const { return dropped_; }
    std::string status() const;
    // Why the last delivery failed, while the status says it did.
    const std::optional<std::string>& lastError() const { return lastError_; }

    void setEnabled(bool enabled);
    void setDevice(std::string id);
    // Sends to the phone with this id or name for this run, whatever is stored.
    void useForThisRun(std::string idOrName);

    // One alert; ignored while off or without a chosen phone.
    void send(std::string text);
    void sendTest();

private:
    struct Waiting {
        std::string text;
        std::chrono::steady_clock::time_point queuedAt;
        Timestamp queuedAtWallClock;
    };

    void channelChanged();
    void pump();
    void dropExpired();
    void scheduleExpiry();
    void deliver(const std::string& phoneID, const std::string& text);
    void forgetOutcome();

    EventLoop& loop_;
    DefaultsStore& defaults_;
    PhoneAlertChannel* channel_;
    ChangeSignal changed_;
    bool enabled_ = false;
    std::string device_;
    std::deque<Waiting> waiting_;
    std::size_t dropped_ = 0;
    bool inFlight_ = false;
    std::optional<Timestamp> lastSent_;
    std::optional<std::string> lastError_;
    TimerHandle expiry_;
    // Completions that arrive after this object is gone find it expired.
    std::shared_ptr<PhoneAlerts*> self_;
};

}  // namespace corvane
