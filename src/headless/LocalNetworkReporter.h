// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The headless front end's view of the local-network watcher: one line for
// each device the first time it is seen online, each online/offline change
// after that, each change of the state text or error message. Also tracks
// and arms the devices named on the command line once they are seen (names
// match as device identifiers do: case and accents aside). Alerts reach the
// terminal through the printing notification centre. Compares once per loop
// turn, so a burst of browse results reads as one set of lines. Loop thread.
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/ChangeSignal.h"
#include "app/CoalescedTask.h"
#include "app/LocalNetworkBrowser.h"
#include "app/ports/EventLoop.h"

namespace corvane {

class LocalNetworkReporter {
public:
    using Printer = std::function<void(const std::string& line)>;

    LocalNetworkReporter(LocalNetworkBrowser& browser, EventLoop& loop, Printer print,
                         const std::vector<std::string>& trackNames);

    void report();

private:
    void trackNamedDevices();

    LocalNetworkBrowser& browser_;
    Printer print_;
    std::set<std::string> trackNames_;
    CoalescedTask pendingReport_;
    ChangeSignal::Subscription subscription_;

    std::map<std::string, bool> online_;
    std::optional<std::string> state_;
    std::optional<std::string> errorMessage_;
    std::set<std::string> armed_;
};

}  // namespace corvane
