// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/BluetoothProximityEstimator.h"

#include <algorithm>
#include <array>

namespace corvane {
namespace {

// Median of at most five readings, insertion-sorted in a copy on the stack.
double median(const double* first, std::size_t count) {
    std::array<double, BluetoothProximityEstimator::kSmoothingSpan> sorted{};
    for (std::size_t i = 0; i < count && i < sorted.size(); ++i) {
        std::size_t j = i;
        for (; j > 0 && sorted[j - 1] > first[i]; --j) sorted[j] = sorted[j - 1];
        sorted[j] = first[i];
    }
    if (count % 2 == 1) return sorted[count / 2];
    return (sorted[count / 2 - 1] + sorted[count / 2]) / 2;
}

}  // namespace

BluetoothProximityEstimator::BluetoothProximityEstimator(int maximumSamples)
    : maximumSamples_(std::max(maximumSamples, 4)) {
    values_.reserve(static_cast<std::size_t>(maximumSamples_) + 1);
}

std::optional<BluetoothProximitySnapshot> BluetoothProximityEstimator::add(int rssi) {
    if (rssi < -127 || rssi > -1) return std::nullopt;
    values_.push_back(static_cast<double>(rssi));
    const auto limit = static_cast<std::size_t>(maximumSamples_);
    if (values_.size() > limit) values_.erase(values_.begin(), values_.end() - static_cast<std::ptrdiff_t>(limit));

    const std::size_t count = values_.size();
    const std::size_t span = std::min<std::size_t>(kSmoothingSpan, count);
    const double smoothed = median(values_.data() + (count - span), span);

    auto trend = BluetoothProximityTrend::acquiring;
    if (count >= kSmoothingSpan) {
        const double difference = smoothed - median(values_.data(), kSmoothingSpan);
        if (difference >= kTrendThreshold) {
            trend = BluetoothProximityTrend::warmer;
        } else if (difference <= -kTrendThreshold) {
            trend = BluetoothProximityTrend::colder;
        } else {
            trend = BluetoothProximityTrend::steady;
        }
    }
    return BluetoothProximitySnapshot{rssi, smoothed, trend, bluetoothProximityBand(smoothed), static_cast<int>(count)};
}

}  // namespace corvane
