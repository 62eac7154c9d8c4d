// SPDX-License-Identifier: GPL-3.0-or-later
#include "headless/BluetoothTrackRequests.h"

namespace corvane {

BluetoothTrackRequests::BluetoothTrackRequests(BluetoothTrackerManager& manager, EventLoop& loop,
                                               const std::vector<Uuid>& ids)
    : manager_(manager), loop_(loop) {
    for (const auto& id : ids) waiting_.insert(id);
    for (const auto& device : manager.trackedDevices()) waiting_.erase(device.id);
    if (!waiting_.empty()) subscription_ = manager.changed().subscribe([this] { check(); });
}

void BluetoothTrackRequests::check() {
    for (const auto& device : manager_.devices()) {
        if (waiting_.erase(device.id) == 0) continue;
        // Deferred: the watcher is still inside the change it announces.
        loop_.post([this, entry = device] {
            manager_.track(entry);
            manager_.setLossAlert(true, entry.id);
        });
    }
    if (waiting_.empty()) subscription_.reset();
}

}  // namespace corvane
