// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Bluetooth watcher: scans for LE advertisers, keeps the nearby list with
// smoothed strength, band and trend, keeps the user's tracked devices and
// their file, drives finder mode (live signal, paced clicks), and raises
// signal-loss and recovery alerts by notification and, when configured, by
// iMessage. Records this computer's location when a tracked device is heard.
//
// Owned by CorvaneModel for the whole run; loop thread only; talks to the
// world only through its ports, which must outlive it. Every published field
// has a const accessor; changes fire `changed()` once per operation or
// event, and observers re-read. Timers: the 5 s refresh while scanning, the
// 0.25 s finder tick while finding; nothing else wakes the loop.
//
// Behaviour beyond the letter of the rules it follows: a stored loss delay
// below 15 s reads as 15 s; power that returns during finder mode restarts
// the radio; a wake restarts scanning only while powered on; the reception
// save throttle counts attempts, so a failing disk is not rewritten on every
// advertisement; the per-device advertisement throttle is cleared with the
// other per-scan state; receptions not yet saved are written when the
// manager goes away (orderly quit).
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "app/ChangeSignal.h"
#include "app/DiscoveredTracker.h"
#include "app/ports/BluetoothCentral.h"
#include "app/ports/DefaultsStore.h"
#include "app/ports/EventLoop.h"
#include "app/ports/LocationProvider.h"
#include "app/ports/NotificationCenter.h"
#include "app/ports/ScriptRunner.h"
#include "app/ports/SoundPlayer.h"
#include "app/ports/WakeMonitor.h"
#include "core/BluetoothProximityEstimator.h"
#include "core/TrackedBluetoothDevice.h"
#include "core/TrackedBluetoothDeviceFile.h"

namespace corvane {

class BluetoothTrackerManager {
public:
    struct Ports {
        BluetoothCentral& central;
        LocationProvider& location;
        WakeMonitor& wake;
        SoundPlayer& sound;
        // Runs the Messages script of iMessage alerts.
        ScriptRunner& scripts;
        // Holds "tracked-bluetooth-devices.json"; created on first save.
        std::string dataFolder;
    };

    static constexpr const char* kMeshtasticServiceUUID = "6BA1B218-15A8-461F-9FA8-5DCAE273EAFD";
    static constexpr double kAdvertisementThrottle = 2.0;
    static constexpr double kReceptionSaveInterval = 5.0;
    static constexpr double kLocationRequestSpacing = 300;
    static constexpr double kSignalLostAfter = 5.0;

    BluetoothTrackerManager(EventLoop& loop, DefaultsStore& defaults, NotificationCenter& notifications, Ports ports);
    ~BluetoothTrackerManager();
    BluetoothTrackerManager(const BluetoothTrackerManager&) = delete;
    BluetoothTrackerManager& operator=(const BluetoothTrackerManager&) = delete;

    static std::string_view stateText(BluetoothCentralState state);

    ChangeSignal& changed() { return changed_; }

    // Published fields.
    const std::vector<DiscoveredTracker>& devices() const { return devices_; }
    const std::string& state() const { return state_; }
    bool isScanning() const { return isScanning_; }
    const std::optional<Uuid>& trackedID() const { return trackedID_; }
    bool isFinding() const { return isFinding_; }
    bool finderSoundEnabled() const { return finderSoundEnabled_; }
    const std::vector<TrackedBluetoothDevice>& trackedDevices() const { return trackedDevices_; }
    const std::optional<std::string>& errorMessage() const { return errorMessage_; }
    bool iMessageAlertsEnabled() const { return iMessageAlertsEnabled_; }
    const std::string& iMessageRecipient() const { return iMessageRecipient_; }
    const std::string& iMessageStatus() const { return iMessageStatus_; }

    // The nearby entry of the device being found, if it is listed.
    const DiscoveredTracker* trackedDevice() const;
    // The finder panel's rule: no entry, or silent for more than 5 s.
    bool isFinderSignalLost(Timestamp now) const;

    void setFinderSoundEnabled(bool enabled);
    void setIMessageAlertsEnabled(bool enabled);
    void setIMessageRecipient(std::string recipient);
    void setErrorMessage(std::optional<std::string> message);

    void startScanning();
    void stopScanning();
    void startFinding(const Uuid& id);
    void stopFinding();

    void track(const DiscoveredTracker& entry);
    void stopTracking(const Uuid& id);
    void renameTrackedDevice(const Uuid& id, std::string name);
    void setLossAlert(bool enabled, const Uuid& id);
    void setLossAlertDelay(double seconds, const Uuid& id);

    void updateIMessageStatus();
    void sendTestIMessage();
    void macDidWake();

private:
    void centralStateChanged(BluetoothCentralState state);
    void advertisementReceived(const BluetoothAdvertisement& advertisement);
    void updateTrackedDevice(TrackedBluetoothDevice& device, const DiscoveredTracker& entry, Timestamp now);
    void startScanRefreshTimer();
    void startFinderTimer();
    void restartRadio();
    void centralFailed(const std::string& description);
    void endScanRun();
    void checkLossAlerts(Timestamp now);
    void playFinderSoundIfNeeded(Timestamp now);
    void saveTrackedDevices();
    void sendIMessage(const std::string& text, std::string_view successPrefix);
    void sendIMessageLossAlert(const TrackedBluetoothDevice& device);
    void sendRecoveryAlert(const TrackedBluetoothDevice& device);
    void requestLocationIfNeeded(Timestamp now);
    void askForLocation(Timestamp now);
    std::optional<LocationFix> recentLocation(Timestamp now) const;
    void locationsReceived(const std::vector<LocationFix>& fixes);
    void locationFailed(const LocationError& error);
    TrackedBluetoothDevice* findTracked(const Uuid& id);
    DiscoveredTracker* findDevice(const Uuid& id);

    EventLoop& loop_;
    DefaultsStore& defaults_;
    NotificationCenter& notifications_;
    Ports ports_;
    ChangeSignal changed_;
    TrackedBluetoothDeviceFile file_;

    std::vector<DiscoveredTracker> devices_;
    // Position of each entry in devices_, which only grows until cleared:
    // a busy street lists hundreds of devices, each heard many times a second.
    std::unordered_map<Uuid, std::size_t, UuidHash> deviceIndex_;
    std::string state_ = "Bluetooth is starting…";
    bool isScanning_ = false;
    std::optional<Uuid> trackedID_;
    bool isFinding_ = false;
    bool finderSoundEnabled_ = false;
    std::vector<TrackedBluetoothDevice> trackedDevices_;
    std::optional<std::string> errorMessage_;
    bool iMessageAlertsEnabled_ = false;
    std::string iMessageRecipient_;
    std::string iMessageStatus_ = "Not configured";

    std::unordered_map<Uuid, BluetoothProximityEstimator, UuidHash> proximityEstimators_;
    std::unordered_map<Uuid, Timestamp, UuidHash> lastProcessedAdvertisement_;
    TimerHandle finderTimer_;
    TimerHandle scanRefreshTimer_;
    bool isRadioScanning_ = false;
    bool scanRequested_ = false;
    // Absent stands for the distant past.
    std::optional<Timestamp> lastFinderSound_;
    // Attempts, not successes, space the reception saves.
    std::optional<Timestamp> lastTrackedSaveAttempt_;
    std::optional<Timestamp> lastLocationRequest_;
    std::optional<Timestamp> monitoringStartedAt_;
    std::optional<LocationFix> currentLocation_;
    bool hasUnsavedReceptions_ = false;
    std::set<Uuid> heardThisScan_;
    std::set<Uuid> lossAlertedIDs_;
};

}  // namespace corvane
