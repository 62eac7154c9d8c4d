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

// "Nearby · Warmer · getting closer"; a steady signal is told by its band
// alone ("Nearby", not "Nearby · Nearby").
QString proximity(const DiscoveredTracker& device);
// The trend's symbol: "arrow.up.right" while getting closer.
QString trendSymbol(const DiscoveredTracker& device);
// When it was heard: the time of day, with the date when not today.
QString time(Timestamp instant, Timestamp now);

}  // namespace corvane::BluetoothText
