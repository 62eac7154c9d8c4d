// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "tracked-bluetooth-devices.json" in the "Corvane" data folder: loads the
// tracked devices once and replaces the file whole on every save. A file
// that exists but does not decode loads as empty and is kept aside as
// "NAME.corrupt-<seconds>" before the first save replaces it.
// Owned by the Bluetooth watcher; loop thread only.
#include <string>
#include <vector>

#include "core/PrivateFile.h"
#include "core/Result.h"
#include "core/TrackedBluetoothDevice.h"

namespace corvane {

class TrackedBluetoothDeviceFile {
public:
    static constexpr const char* kFileName = "tracked-bluetooth-devices.json";

    explicit TrackedBluetoothDeviceFile(std::string path) : path_(std::move(path)) {}

    const std::string& path() const { return path_; }

    std::vector<TrackedBluetoothDevice> load();
    Result<Done, FileError> save(const std::vector<TrackedBluetoothDevice>& devices);

private:
    std::string path_;
    bool damaged_ = false;
};

}  // namespace corvane
