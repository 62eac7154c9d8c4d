// SPDX-License-Identifier: GPL-3.0-or-later
// Decodes arbitrary bytes as a tracked Bluetooth devices file. Whatever
// decodes must encode; from the first encoding on (dates settle to whole
// microseconds) decoding and encoding must be a fixed point.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/TrackedBluetoothDevice.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace corvane;
    const auto devices = decodeTrackedBluetoothDevices(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!devices) return 0;
    const auto first = encodeTrackedBluetoothDevices(*devices);
    if (!first) std::abort();
    const auto normalised = decodeTrackedBluetoothDevices(*first);
    if (!normalised || normalised->size() != devices->size()) std::abort();
    const auto second = encodeTrackedBluetoothDevices(*normalised);
    if (!second || *second != *first) std::abort();
    return 0;
}
