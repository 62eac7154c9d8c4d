// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Stand-ins for the Bluetooth watcher's ports, for unit tests and
// benchmarks: the test plays the radio, the location service and the wake
// event by calling the `report`/`deliver` helpers, which call the handlers
// as the loop would. Calls made by the watcher are recorded. ports() bundles
// them, with a recording script runner, for BluetoothTrackerManager.
// Single-threaded.
#include <string>
#include <vector>

#include "app/BluetoothTrackerManager.h"
#include "support/FakeScriptRunner.h"

namespace corvane {

class FakeBluetoothCentral final : public BluetoothCentral {
public:
    void setHandlers(Handlers handlers) override { handlers_ = std::move(handlers); }
    BluetoothCentralState state() const override { return state_; }
    void startScan() override { scanning = true, ++scanStarts; }
    void stopScan() override { scanning = false; }

    void report(BluetoothCentralState state) {
        state_ = state;
        if (handlers_.onStateChange) handlers_.onStateChange(state);
    }
    void fail(const std::string& description) {
        scanning = false;
        if (handlers_.onFailure) handlers_.onFailure(description);
    }
    // Delivered only while scanning, as a real radio does.
    void advertise(const BluetoothAdvertisement& advertisement) {
        if (scanning && handlers_.onAdvertisement) handlers_.onAdvertisement(advertisement);
    }

    bool scanning = false;
    int scanStarts = 0;

private:
    Handlers handlers_;
    BluetoothCentralState state_ = BluetoothCentralState::unknown;
};

class FakeLocationProvider final : public LocationProvider {
public:
    void setHandlers(Handlers handlers) override { handlers_ = std::move(handlers); }
    LocationAuthorization authorization() const override { return status; }
    void requestWhenInUseAuthorization() override { ++authorizationRequests; }
    void requestLocation() override { ++locationRequests; }
    void stopUpdatingLocation() override { ++stops; }

    void authorize(LocationAuthorization answer) {
        status = answer;
        if (handlers_.onAuthorizationChange) handlers_.onAuthorizationChange(answer);
    }
    void deliver(const LocationFix& fix) {
        if (handlers_.onLocations) handlers_.onLocations({fix});
    }
    void fail(const LocationError& error) {
        if (handlers_.onError) handlers_.onError(error);
    }

    LocationAuthorization status = LocationAuthorization::notDetermined;
    int authorizationRequests = 0;
    int locationRequests = 0;
    int stops = 0;

private:
    Handlers handlers_;
};

class FakeWakeMonitor final : public WakeMonitor {
public:
    void setHandler(std::function<void()> onWake) override { onWake_ = std::move(onWake); }
    void wake() {
        if (onWake_) onWake_();
    }

private:
    std::function<void()> onWake_;
};

class FakeSoundPlayer final : public SoundPlayer {
public:
    void playClick() override { ++clicks; }
    int clicks = 0;
};

struct FakeBluetoothPlatform {
    FakeBluetoothCentral central;
    FakeLocationProvider location;
    FakeWakeMonitor wake;
    FakeSoundPlayer sound;
    FakeScriptRunner scripts;

    BluetoothTrackerManager::Ports ports(std::string dataFolder) {
        return {central, location, wake, sound, scripts, std::move(dataFolder)};
    }
};

}  // namespace corvane
