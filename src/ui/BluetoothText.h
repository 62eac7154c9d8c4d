// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How the window writes a Bluetooth device's facts: its band and trend, and
// the time it was heard.
#include <QString>

#include "core/DateTime.h"

namespace corvane {
struct DiscoveredTracker;
}

namespace corvane::BluetoothText {

// "Nearby · Getting closer"
QString proximity(const DiscoveredTracker& device);
// The local time of day, "HH:mm:ss".
QString time(Timestamp instant);

}  // namespace corvane::BluetoothText
