// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The result of one accepted signal reading: the reading, its smoothed
// strength, band, trend and the window's size. A plain value.
#include <cstdint>

#include "core/BluetoothProximityBand.h"
#include "core/BluetoothProximityTrend.h"

namespace corvane {

struct BluetoothProximitySnapshot {
    int rawRSSI = 0;
    double smoothedRSSI = 0;
    BluetoothProximityTrend trend = BluetoothProximityTrend::acquiring;
    BluetoothProximityBand band = BluetoothProximityBand::weak;
    int sampleCount = 0;

    friend bool operator==(const BluetoothProximitySnapshot&, const BluetoothProximitySnapshot&) = default;
};

}  // namespace corvane
