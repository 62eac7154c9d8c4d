// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The headless front end's view of the model: one readable line per change a
// person would care about (whether the bridge is installed, connection state
// and port with the reason an attempt failed, the radio's own node, each node
// first heard, each node going silent or heard again, parking status, radio settings state, error messages), and
// nothing for state that did not change. Subscribes to the model's change
// signal and compares with what it printed last, once per loop turn, so the
// steps of one change (port set, then state) read as one line. Notifications
// handed to announce() follow the changes of their loop turn, so an alert
// reads after the state that raised it. An automatic retry that fails the
// same way again prints nothing: a guard left running for a day without its
// radio prints its reason once, not every five seconds. Loop thread.
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/ChangeSignal.h"
#include "app/CoalescedTask.h"
#include "app/CorvaneModel.h"
#include "app/ports/EventLoop.h"

namespace corvane {

class HeadlessReporter {
public:
    using Printer = std::function<void(const std::string& line)>;

    HeadlessReporter(CorvaneModel& model, EventLoop& loop, Printer print);

    // Compares the model with what was printed and prints the differences,
    // then the notifications announced since.
    void report();
    // Prints `line` after this loop turn's changes.
    void announce(std::string line);

private:
    void reportConnection();

    CorvaneModel& model_;
    Printer print_;
    CoalescedTask pendingReport_;
    ChangeSignal::Subscription subscription_;
    ChangeSignal::Subscription healthSubscription_;

    bool bridgeStatusShown_ = false;
    std::vector<std::string> announced_;
    std::optional<std::string> connection_;
    std::optional<std::string> connectionFailure_;
    std::optional<std::uint32_t> localNode_;
    std::set<std::uint32_t> heard_;
    std::set<std::uint32_t> silent_;
    std::optional<std::string> parkingStatus_;
    std::optional<std::string> guardPrecision_;
    std::optional<std::string> radioSettingsState_;
    std::optional<std::string> errorMessage_;
};

}  // namespace corvane
