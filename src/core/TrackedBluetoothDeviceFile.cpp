// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/TrackedBluetoothDeviceFile.h"

namespace corvane {

std::vector<TrackedBluetoothDevice> TrackedBluetoothDeviceFile::load() {
    auto bytes = PrivateFile::read(path_);
    if (!bytes) {
        damaged_ = bytes.error().kind != PrivateFile::ReadFailure::missing;
        return {};
    }
    auto devices = decodeTrackedBluetoothDevices(*bytes);
    damaged_ = !devices;
    return devices ? std::move(*devices) : std::vector<TrackedBluetoothDevice>{};
}

Result<Done, FileError> TrackedBluetoothDeviceFile::save(const std::vector<TrackedBluetoothDevice>& devices) {
    const auto text = encodeTrackedBluetoothDevices(devices);
    if (!text) return fail(FileError{0, "The tracked devices could not be encoded."});
    if (damaged_) {
        const auto kept = PrivateFile::keepAside(path_);
        if (!kept) return fail(kept.error());
        damaged_ = false;
    }
    return PrivateFile::writeIfChanged(path_, *text);
}

}  // namespace corvane
