// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One entry of the nearby Bluetooth list: who was heard, under which name,
// and how near the last readings put it. A plain value.
#include <string>

#include "core/BluetoothProximityBand.h"
#include "core/BluetoothProximityTrend.h"
#include "core/DateTime.h"
#include "core/Uuid.h"

namespace corvane {

struct DiscoveredTracker {
    Uuid id;
    std::string name;
    bool isMeshtastic = false;
    int rssi = 0;
    double smoothedRSSI = 0;
    BluetoothProximityTrend trend = BluetoothProximityTrend::acquiring;
    BluetoothProximityBand band = BluetoothProximityBand::weak;
    Timestamp lastSeen;
    int sampleCount = 0;

    friend bool operator==(const DiscoveredTracker&, const DiscoveredTracker&) = default;
};

}  // namespace corvane
