// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Whether a Bluetooth device's signal is getting stronger or weaker, with the
// finder panel's words and symbol for it. Plain values, no state.
#include <array>
#include <optional>
#include <string_view>

#include "core/BluetoothProximityBand.h"
#include "core/RawValue.h"

namespace corvane {

enum class BluetoothProximityTrend { acquiring, warmer, steady, colder };

constexpr std::string_view rawValue(BluetoothProximityTrend trend) {
    switch (trend) {
    case BluetoothProximityTrend::acquiring: return "acquiring";
    case BluetoothProximityTrend::warmer: return "warmer";
    case BluetoothProximityTrend::steady: return "steady";
    case BluetoothProximityTrend::colder: return "colder";
    }
    return "steady";
}

constexpr std::optional<BluetoothProximityTrend> bluetoothProximityTrendFromRaw(std::string_view raw) {
    return fromRawValue(raw, std::array{BluetoothProximityTrend::acquiring, BluetoothProximityTrend::warmer,
                                        BluetoothProximityTrend::steady, BluetoothProximityTrend::colder});
}

// A steady signal is described by how near it is.
constexpr std::string_view finderLabel(BluetoothProximityTrend trend, BluetoothProximityBand band) {
    switch (trend) {
    case BluetoothProximityTrend::acquiring: return "Measuring signal…";
    case BluetoothProximityTrend::warmer: return "Warmer · getting closer";
    case BluetoothProximityTrend::steady: return label(band);
    case BluetoothProximityTrend::colder: return "Colder · moving away";
    }
    return label(band);
}

constexpr std::string_view symbolName(BluetoothProximityTrend trend) {
    switch (trend) {
    case BluetoothProximityTrend::acquiring: return "waveform.path.ecg";
    case BluetoothProximityTrend::warmer: return "arrow.up.right";
    case BluetoothProximityTrend::steady: return "equal";
    case BluetoothProximityTrend::colder: return "arrow.down.right";
    }
    return "equal";
}

}  // namespace corvane
