// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A Bluetooth device the user chose to keep near: its names, its last
// reception with the place this computer was then, and its signal-loss alert
// settings. A plain value; the list of them lives in
// "tracked-bluetooth-devices.json" (TrackedBluetoothDeviceFile).
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/DateTime.h"
#include "core/JsonForward.h"
#include "core/Uuid.h"

namespace corvane {

struct TrackedBluetoothDevice {
    static constexpr double kDefaultLossAlertDelay = 30;
    // Shorter delays would alarm on the gaps between advertisements.
    static constexpr double kMinimumLossAlertDelay = 15;

    Uuid id;
    std::string name;
    std::string discoveredName;
    Timestamp addedAt;
    Timestamp lastSeen;
    int lastRSSI = 0;
    std::optional<double> latitude;
    std::optional<double> longitude;
    bool lossAlertEnabled = false;
    double lossAlertDelay = kDefaultLossAlertDelay;

    // Coordinates are taken only as a pair; otherwise the stored ones stay.
    void observe(Timestamp at, int rssi, std::optional<double> latitude, std::optional<double> longitude);

    friend bool operator==(const TrackedBluetoothDevice&, const TrackedBluetoothDevice&) = default;
};

// The file's codec: a compact JSON array, dates as seconds since 2001. The
// decoder refuses the whole text when any object lacks a required key; a
// stored delay below the minimum reads as the minimum.
std::optional<std::vector<TrackedBluetoothDevice>> decodeTrackedBluetoothDevices(std::string_view text);
std::optional<std::string> encodeTrackedBluetoothDevices(const std::vector<TrackedBluetoothDevice>& devices);

}  // namespace corvane
