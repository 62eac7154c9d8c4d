// SPDX-License-Identifier: GPL-3.0-or-later
#include "headless/BluetoothReporter.h"

namespace corvane {

BluetoothReporter::BluetoothReporter(BluetoothTrackerManager& manager, EventLoop& loop, Printer print)
    : manager_(manager),
      print_(std::move(print)),
      pendingReport_(loop, [this] { report(); }),
      subscription_(manager.changed().subscribe([this] { pendingReport_.request(); })) {
    // The status at start is what the iMessage settings read, not news.
    iMessageStatus_ = manager.iMessageStatus();
    report();
}

void BluetoothReporter::report() {
    for (const auto& device : manager_.devices()) {
        if (!heard_.insert(device.id).second) continue;
        print_("Bluetooth heard: " + device.name + " (" + device.id.string() + "), " + std::to_string(device.rssi) +
               " dBm · " + std::string(label(device.band)));
    }
    if (manager_.state() != state_) {
        state_ = manager_.state();
        print_("Bluetooth: " + *state_);
    }
    if (manager_.iMessageStatus() != iMessageStatus_) {
        iMessageStatus_ = manager_.iMessageStatus();
        print_("Bluetooth Messages: " + *iMessageStatus_);
    }
    if (manager_.errorMessage() != errorMessage_) {
        errorMessage_ = manager_.errorMessage();
        if (errorMessage_) print_("Bluetooth error: " + *errorMessage_);
    }
}

}  // namespace corvane
