// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How near a Bluetooth device seems, from its smoothed signal strength, with
// the words the window shows for it. Plain values, no state.
#include <array>
#include <optional>
#include <string_view>

#include "core/RawValue.h"

namespace corvane {

enum class BluetoothProximityBand { veryClose, nearby, fartherAway, weak };

constexpr std::string_view rawValue(BluetoothProximityBand band) {
    switch (band) {
    case BluetoothProximityBand::veryClose: return "veryClose";
    case BluetoothProximityBand::nearby: return "nearby";
    case BluetoothProximityBand::fartherAway: return "fartherAway";
    case BluetoothProximityBand::weak: return "weak";
    }
    return "weak";
}

constexpr std::optional<BluetoothProximityBand> bluetoothProximityBandFromRaw(std::string_view raw) {
    return fromRawValue(raw, std::array{BluetoothProximityBand::veryClose, BluetoothProximityBand::nearby,
                                        BluetoothProximityBand::fartherAway, BluetoothProximityBand::weak});
}

// Limits inclusive on the strong side; a value that is not a number is weak.
constexpr BluetoothProximityBand bluetoothProximityBand(double rssi) {
    if (rssi >= -50) return BluetoothProximityBand::veryClose;
    if (rssi >= -65) return BluetoothProximityBand::nearby;
    if (rssi >= -78) return BluetoothProximityBand::fartherAway;
    return BluetoothProximityBand::weak;
}

constexpr std::string_view label(BluetoothProximityBand band) {
    switch (band) {
    case BluetoothProximityBand::veryClose: return "Very close";
    case BluetoothProximityBand::nearby: return "Nearby";
    case BluetoothProximityBand::fartherAway: return "Farther away";
    case BluetoothProximityBand::weak: return "Weak signal";
    }
    return "Weak signal";
}

}  // namespace corvane
