// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Tracks the devices named on the command line: each one not tracked yet is
// tracked, with its loss alert on, the first time it is heard, so it carries
// the name it was heard under. Devices already tracked keep their settings.
// Loop thread.
#include <set>
#include <vector>

#include "app/BluetoothTrackerManager.h"

namespace corvane {

class BluetoothTrackRequests {
public:
    BluetoothTrackRequests(BluetoothTrackerManager& manager, EventLoop& loop, const std::vector<Uuid>& ids);

private:
    void check();

    BluetoothTrackerManager& manager_;
    EventLoop& loop_;
    std::set<Uuid> waiting_;
    ChangeSignal::Subscription subscription_;
};

}  // namespace corvane
