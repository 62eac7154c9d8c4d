// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Smooths one Bluetooth device's signal readings: a window of the newest
// readings, the median of the last five as the strength, and the trend from
// comparing it with the median of the five oldest. A value type, copied with
// the scanner's per-device entry; no allocation after the window first fills.
#include <optional>
#include <vector>

#include "core/BluetoothProximitySnapshot.h"

namespace corvane {

class BluetoothProximityEstimator {
public:
    static constexpr int kSmoothingSpan = 5;
    static constexpr double kTrendThreshold = 4.0;

    // Windows shorter than four readings could not tell a trend.
    explicit BluetoothProximityEstimator(int maximumSamples = 10);

    // Absent, and nothing kept, for readings outside -127...-1 dBm.
    std::optional<BluetoothProximitySnapshot> add(int rssi);
    void reset() { values_.clear(); }

    const std::vector<double>& values() const { return values_; }
    int maximumSamples() const { return maximumSamples_; }

private:
    std::vector<double> values_;
    int maximumSamples_;
};

}  // namespace corvane
