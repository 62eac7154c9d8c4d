// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The headless front end's view of the Bluetooth watcher: one line for each
// device the first time it is heard ("Bluetooth heard: Keys (ID), -67 dBm ·
// Nearby"), one for every change of the status line, the iMessage status
// and the error message. Alerts print through the notification centre.
// Compares with what it printed last, once per loop turn. Loop thread.
#include <functional>
#include <optional>
#include <set>
#include <string>

#include "app/BluetoothTrackerManager.h"
#include "app/CoalescedTask.h"

namespace corvane {

class BluetoothReporter {
public:
    using Printer = std::function<void(const std::string& line)>;

    BluetoothReporter(BluetoothTrackerManager& manager, EventLoop& loop, Printer print);

    void report();

private:
    BluetoothTrackerManager& manager_;
    Printer print_;
    CoalescedTask pendingReport_;
    ChangeSignal::Subscription subscription_;

    std::set<Uuid> heard_;
    std::optional<std::string> state_;
    std::optional<std::string> iMessageStatus_;
    std::optional<std::string> errorMessage_;
};

}  // namespace corvane
