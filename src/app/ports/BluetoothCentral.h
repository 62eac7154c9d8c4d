// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Bluetooth LE radio as the scanner needs it: a state, a scan of every
// advertiser with duplicates reported, and a stream of advertisements.
// Used on the loop thread only. Contract that adapters and fakes keep:
// - state() is the latest state reported through onStateChange (unknown
//   until the first report); a report follows creation, and every change;
// - startScan() asks for every advertisement of every device, repeatedly;
//   it may be called again while scanning; stopScan() ends the reports;
// - advertisements arrive only between startScan() and stopScan(), while
//   the radio is powered on;
// - a move to another radio (one removed while another is there, a better
//   one added) is reported as resetting, then the new radio's state: the
//   scan ends with resetting and the owner starts it again;
// - a failure no state names (the radio's devices could not be read, a
//   scan did not start) is reported through onFailure with a readable
//   text; a scan it hit has ended, and startScan() tries again;
// - handlers are called from the loop, never from inside a call of this
//   port; none is called after setHandlers({}) or destruction.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/Uuid.h"

namespace corvane {

enum class BluetoothCentralState { unknown, resetting, unsupported, unauthorized, poweredOff, poweredOn };

struct BluetoothAdvertisement {
    // Stable for one device across runs.
    Uuid id;
    // The system's name for the device, and the name it advertises.
    std::optional<std::string> peripheralName;
    std::optional<std::string> localName;
    // Advertised service UUIDs, as text in either letter case.
    std::vector<std::string> serviceUUIDs;
    int rssi = 0;
};

class BluetoothCentral {
public:
    struct Handlers {
        std::function<void(BluetoothCentralState)> onStateChange;
        std::function<void(const BluetoothAdvertisement&)> onAdvertisement;
        std::function<void(const std::string& description)> onFailure;
    };

    virtual ~BluetoothCentral() = default;

    virtual void setHandlers(Handlers handlers) = 0;
    virtual BluetoothCentralState state() const = 0;
    virtual void startScan() = 0;
    virtual void stopScan() = 0;
};

}  // namespace corvane
