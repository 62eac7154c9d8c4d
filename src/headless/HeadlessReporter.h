#pragma once
// The headless front end's view of the model: one readable line per change a
// person would care about (connection state and port, the radio's own node,
// each node first heard, parking status, radio settings state, error
// messages), and nothing for state that did not change. Subscribes to the
// model's change signal and compares with what it printed last, once per loop
// turn, so the steps of one change (port set, then state) read as one line.
// Loop thread.
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>

#include "app/ChangeSignal.h"
#include "app/CoalescedTask.h"
#include "app/CorvaneModel.h"
#include "app/ports/EventLoop.h"

namespace corvane {

class HeadlessReporter {
public:
    using Printer = std::function<void(const std::string& line)>;

    HeadlessReporter(CorvaneModel& model, EventLoop& loop, Printer print);

    // Compares the model with what was printed and prints the differences.
    void report();

private:
    CorvaneModel& model_;
    Printer print_;
    CoalescedTask pendingReport_;
    ChangeSignal::Subscription subscription_;

    std::optional<std::string> connection_;
    std::optional<std::uint32_t> localNode_;
    std::set<std::uint32_t> heard_;
    std::optional<std::string> parkingStatus_;
    std::optional<std::string> radioSettingsState_;
    std::optional<std::string> errorMessage_;
};

}  // namespace corvane
