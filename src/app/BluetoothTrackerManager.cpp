// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/BluetoothTrackerManager.h"

#include <algorithm>
#include <cmath>
#include <ctime>

#include "app/MessagesAlertSender.h"
#include "core/DoubleText.h"
#include "core/LossDelayDescription.h"
#include "core/TextCompare.h"
#include "core/TextTrim.h"
#include "core/UserFolders.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;

constexpr auto kScanRefreshInterval = 5s;
constexpr auto kFinderInterval = 250ms;
constexpr int kEstimatorWindow = 10;

constexpr const char* kIMessageEnabledKey = "bluetoothLossIMessageEnabled";
constexpr const char* kIMessageRecipientKey = "bluetoothLossIMessageRecipient";

// A time that lies in the future (the wall clock went back) counts as long
// ago: a throttle must never hold work back indefinitely.
bool hasElapsed(const std::optional<Timestamp>& since, Timestamp now, double seconds) {
    if (!since) return true;
    const double elapsed = secondsBetween(*since, now);
    return elapsed < 0 || elapsed >= seconds;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

std::optional<double> clickSpacing(BluetoothProximityBand band) {
    switch (band) {
    case BluetoothProximityBand::veryClose: return 0.35;
    case BluetoothProximityBand::nearby: return 0.7;
    case BluetoothProximityBand::fartherAway: return 1.2;
    case BluetoothProximityBand::weak: return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace

BluetoothTrackerManager::BluetoothTrackerManager(EventLoop& loop, DefaultsStore& defaults,
                                                 NotificationCenter& notifications, Ports ports)
    : loop_(loop),
      defaults_(defaults),
      notifications_(notifications),
      ports_(std::move(ports)),
      file_(ports_.dataFolder + "/" + TrackedBluetoothDeviceFile::kFileName) {
    iMessageAlertsEnabled_ = defaults_.boolean(kIMessageEnabledKey).value_or(false);
    iMessageRecipient_ = defaults_.string(kIMessageRecipientKey).value_or("");
    trackedDevices_ = file_.load();

    ports_.location.setHandlers({
        .onAuthorizationChange =
            [this](LocationAuthorization status) {
                if (status == LocationAuthorization::authorized) requestLocationIfNeeded(loop_.now());
            },
        .onLocations = [this](const std::vector<LocationFix>& fixes) { locationsReceived(fixes); },
        .onError = [this](const LocationError& error) { locationFailed(error); },
    });
    ports_.central.setHandlers({
        .onStateChange = [this](BluetoothCentralState state) { centralStateChanged(state); },
        .onAdvertisement = [this](const BluetoothAdvertisement& advertisement) { advertisementReceived(advertisement); },
    });
    ports_.wake.setHandler([this] { macDidWake(); });

    if (!trackedDevices_.empty()) askForLocation(loop_.now());
    updateIMessageStatus();
}

BluetoothTrackerManager::~BluetoothTrackerManager() {
    ports_.wake.setHandler({});
    ports_.central.setHandlers({});
    ports_.location.setHandlers({});
    if (hasUnsavedReceptions_) saveTrackedDevices();
}

std::string_view BluetoothTrackerManager::stateText(BluetoothCentralState state) {
    switch (state) {
    case BluetoothCentralState::poweredOn: return "Bluetooth is ready";
    case BluetoothCentralState::poweredOff: return "Turn on Bluetooth to configure a tracker";
    case BluetoothCentralState::unauthorized: return "Allow Bluetooth access in System Settings";
    case BluetoothCentralState::unsupported: return "Bluetooth Low Energy is not supported on this Mac";
    case BluetoothCentralState::unknown:
    case BluetoothCentralState::resetting: break;
    }
    return "Bluetooth is unavailable";
}

const DiscoveredTracker* BluetoothTrackerManager::trackedDevice() const {
    if (!trackedID_) return nullptr;
    const auto it = deviceIndex_.find(*trackedID_);
    return it == deviceIndex_.end() ? nullptr : &devices_[it->second];
}

bool BluetoothTrackerManager::isFinderSignalLost(Timestamp now) const {
    const DiscoveredTracker* entry = trackedDevice();
    return !entry || secondsBetween(entry->lastSeen, now) > kSignalLostAfter;
}

TrackedBluetoothDevice* BluetoothTrackerManager::findTracked(const Uuid& id) {
    const auto it = std::find_if(trackedDevices_.begin(), trackedDevices_.end(),
                                 [&id](const TrackedBluetoothDevice& device) { return device.id == id; });
    return it == trackedDevices_.end() ? nullptr : &*it;
}

DiscoveredTracker* BluetoothTrackerManager::findDevice(const Uuid& id) {
    const auto it = deviceIndex_.find(id);
    return it == deviceIndex_.end() ? nullptr : &devices_[it->second];
}

// MARK: Fields the windows write

void BluetoothTrackerManager::setFinderSoundEnabled(bool enabled) {
    finderSoundEnabled_ = enabled;
    changed_.notify();
}

void BluetoothTrackerManager::setIMessageAlertsEnabled(bool enabled) {
    iMessageAlertsEnabled_ = enabled;
    defaults_.setBoolean(kIMessageEnabledKey, enabled);
    changed_.notify();
}

void BluetoothTrackerManager::setIMessageRecipient(std::string recipient) {
    iMessageRecipient_ = std::move(recipient);
    defaults_.setString(kIMessageRecipientKey, iMessageRecipient_);
    changed_.notify();
}

void BluetoothTrackerManager::setErrorMessage(std::optional<std::string> message) {
    errorMessage_ = std::move(message);
    changed_.notify();
}

// MARK: Scanning

void BluetoothTrackerManager::startScanning() {
    scanRequested_ = true;
    if (ports_.central.state() != BluetoothCentralState::poweredOn) {
        state_ = stateText(ports_.central.state());
        changed_.notify();
        return;
    }
    if (!isFinding_) {
        devices_.clear();
        deviceIndex_.clear();
        proximityEstimators_.clear();
        lastProcessedAdvertisement_.clear();
    }
    isScanning_ = true;
    monitoringStartedAt_ = loop_.now();
    heardThisScan_.clear();
    state_ = "Looking for Bluetooth devices…";
    startScanRefreshTimer();
    isRadioScanning_ = true;
    ports_.central.startScan();
    changed_.notify();
}

void BluetoothTrackerManager::stopScanning() {
    scanRequested_ = false;
    ports_.central.stopScan();
    endScanRun();
    state_ = devices_.empty() ? "No Bluetooth devices found" : "Choose a Bluetooth device";
    changed_.notify();
}

void BluetoothTrackerManager::endScanRun() {
    isRadioScanning_ = false;
    isScanning_ = false;
    scanRefreshTimer_.cancel();
    monitoringStartedAt_.reset();
    heardThisScan_.clear();
}

void BluetoothTrackerManager::centralStateChanged(BluetoothCentralState state) {
    state_ = stateText(state);
    if (state == BluetoothCentralState::poweredOn) {
        if (scanRequested_ && !isScanning_) {
            startScanning();
        } else if (isFinding_ && !isRadioScanning_) {
            // Finder mode outlives a power cut; without this it would stay on
            // with the radio silent until stopped by hand.
            restartRadio();
        }
    } else if (isScanning_) {
        ports_.central.stopScan();
        endScanRun();
    }
    changed_.notify();
}

void BluetoothTrackerManager::restartRadio() {
    startScanRefreshTimer();
    isScanning_ = true;
    isRadioScanning_ = true;
    ports_.central.startScan();
}

void BluetoothTrackerManager::startScanRefreshTimer() {
    if (scanRefreshTimer_.holdsTimer()) return;
    scanRefreshTimer_ = loop_.repeating(kScanRefreshInterval, [this] {
        changed_.notify();
        if (isRadioScanning_) checkLossAlerts(loop_.now());
    });
}

void BluetoothTrackerManager::advertisementReceived(const BluetoothAdvertisement& advertisement) {
    const Timestamp now = loop_.now();
    const Uuid& id = advertisement.id;
    auto [processed, first] = lastProcessedAdvertisement_.try_emplace(id, now);
    if (!first) {
        if (!isFinding_) {
            const double since = secondsBetween(processed->second, now);
            if (since >= 0 && since < kAdvertisementThrottle) return;
        }
        processed->second = now;
    }

    DiscoveredTracker* existing = findDevice(id);
    bool isMeshtastic = existing && existing->isMeshtastic;
    for (const auto& service : advertisement.serviceUUIDs) {
        if (equalsIgnoringCase(service, kMeshtasticServiceUUID)) isMeshtastic = true;
    }

    auto [estimator, created] = proximityEstimators_.try_emplace(id, kEstimatorWindow);
    const auto snapshot = estimator->second.add(advertisement.rssi);
    if (!snapshot) return;

    std::string name;
    if (advertisement.peripheralName && !advertisement.peripheralName->empty()) {
        name = *advertisement.peripheralName;
    } else if (advertisement.localName && !advertisement.localName->empty()) {
        name = *advertisement.localName;
    } else {
        name = "Bluetooth device " + id.string().substr(0, 4);
    }
    DiscoveredTracker entry{id,           std::move(name),         isMeshtastic,  snapshot->rawRSSI,
                            snapshot->smoothedRSSI, snapshot->trend, snapshot->band, now,
                            snapshot->sampleCount};
    if (existing) {
        *existing = std::move(entry);
    } else {
        deviceIndex_.emplace(id, devices_.size());
        devices_.push_back(std::move(entry));
        existing = &devices_.back();
    }

    if (TrackedBluetoothDevice* tracked = findTracked(id)) updateTrackedDevice(*tracked, *existing, now);

    if (trackedID_ == id) {
        state_ = "Live signal · " + std::to_string(snapshot->rawRSSI) + " dBm";
    } else if (!isFinding_) {
        const std::size_t count = devices_.size();
        state_ = "Found " + std::to_string(count) + " Bluetooth device" + (count == 1 ? "" : "s");
    }
    changed_.notify();
}

void BluetoothTrackerManager::updateTrackedDevice(TrackedBluetoothDevice& device, const DiscoveredTracker& entry,
                                                  Timestamp now) {
    heardThisScan_.insert(device.id);
    requestLocationIfNeeded(now);
    const bool wasAlerted = lossAlertedIDs_.erase(device.id) > 0;
    const auto location = recentLocation(now);
    device.observe(now, entry.rssi, location ? std::optional(location->latitude) : std::nullopt,
                   location ? std::optional(location->longitude) : std::nullopt);
    hasUnsavedReceptions_ = true;
    // Copied: sending may run a slow script, and the record stays where it is.
    if (wasAlerted && device.lossAlertEnabled) sendRecoveryAlert(TrackedBluetoothDevice(device));
    if (hasElapsed(lastTrackedSaveAttempt_, now, kReceptionSaveInterval)) saveTrackedDevices();
}

// MARK: Finder mode

void BluetoothTrackerManager::startFinding(const Uuid& id) {
    if (ports_.central.state() != BluetoothCentralState::poweredOn) {
        state_ = stateText(ports_.central.state());
        changed_.notify();
        return;
    }
    trackedID_ = id;
    isFinding_ = true;
    proximityEstimators_.insert_or_assign(id, BluetoothProximityEstimator(kEstimatorWindow));
    DiscoveredTracker* entry = findDevice(id);
    if (entry) {
        entry->sampleCount = 0;
        entry->trend = BluetoothProximityTrend::acquiring;
    }
    startFinderTimer();
    startScanRefreshTimer();
    isScanning_ = true;
    isRadioScanning_ = true;
    state_ = "Finding " + (entry ? entry->name : std::string("device")) + "…";
    ports_.central.startScan();
    changed_.notify();
}

void BluetoothTrackerManager::stopFinding() {
    isFinding_ = false;
    trackedID_.reset();
    finderTimer_.cancel();
    stopScanning();
}

void BluetoothTrackerManager::startFinderTimer() {
    finderTimer_ = loop_.repeating(kFinderInterval, [this] {
        if (!isFinding_) return;
        changed_.notify();
        playFinderSoundIfNeeded(loop_.now());
    });
}

void BluetoothTrackerManager::playFinderSoundIfNeeded(Timestamp now) {
    if (!finderSoundEnabled_) return;
    const DiscoveredTracker* entry = trackedDevice();
    if (!entry || secondsBetween(entry->lastSeen, now) > kSignalLostAfter) return;
    const auto spacing = clickSpacing(entry->band);
    if (!spacing || !hasElapsed(lastFinderSound_, now, *spacing)) return;
    lastFinderSound_ = now;
    ports_.sound.playClick();
}

// MARK: Tracked devices

void BluetoothTrackerManager::track(const DiscoveredTracker& entry) {
    const Timestamp now = loop_.now();
    if (findTracked(entry.id)) {
        state_ = "Already tracking " + entry.name;
    } else {
        const auto location = recentLocation(now);
        trackedDevices_.push_back(TrackedBluetoothDevice{
            .id = entry.id,
            .name = entry.name,
            .discoveredName = entry.name,
            .addedAt = now,
            .lastSeen = entry.lastSeen,
            .lastRSSI = entry.rssi,
            .latitude = location ? std::optional(location->latitude) : std::nullopt,
            .longitude = location ? std::optional(location->longitude) : std::nullopt,
        });
        std::stable_sort(trackedDevices_.begin(), trackedDevices_.end(),
                         [](const TrackedBluetoothDevice& a, const TrackedBluetoothDevice& b) {
                             return localizedStandardCompare(a.name, b.name) < 0;
                         });
        saveTrackedDevices();
        state_ = "Tracking " + entry.name;
    }
    askForLocation(now);
    changed_.notify();
}

void BluetoothTrackerManager::stopTracking(const Uuid& id) {
    std::erase_if(trackedDevices_, [&id](const TrackedBluetoothDevice& device) { return device.id == id; });
    saveTrackedDevices();
    if (trackedDevices_.empty()) ports_.location.stopUpdatingLocation();
    changed_.notify();
}

void BluetoothTrackerManager::renameTrackedDevice(const Uuid& id, std::string name) {
    TrackedBluetoothDevice* device = findTracked(id);
    if (!device) return;
    device->name = std::move(name);
    saveTrackedDevices();
    changed_.notify();
}

void BluetoothTrackerManager::setLossAlert(bool enabled, const Uuid& id) {
    TrackedBluetoothDevice* device = findTracked(id);
    if (!device) return;
    device->lossAlertEnabled = enabled;
    if (enabled) {
        notifications_.requestAuthorization();
        const DiscoveredTracker* entry = findDevice(id);
        if (entry && secondsBetween(entry->lastSeen, loop_.now()) <= kSignalLostAfter) heardThisScan_.insert(id);
    } else {
        lossAlertedIDs_.erase(id);
    }
    saveTrackedDevices();
    changed_.notify();
}

void BluetoothTrackerManager::setLossAlertDelay(double seconds, const Uuid& id) {
    TrackedBluetoothDevice* device = findTracked(id);
    if (!device) return;
    device->lossAlertDelay = std::max(TrackedBluetoothDevice::kMinimumLossAlertDelay, seconds);
    lossAlertedIDs_.erase(id);
    saveTrackedDevices();
    changed_.notify();
}

void BluetoothTrackerManager::saveTrackedDevices() {
    lastTrackedSaveAttempt_ = loop_.now();
    const auto saved = file_.save(trackedDevices_);
    if (!saved) {
        errorMessage_ = "Could not save the tracked Bluetooth devices: " + saved.error().message;
        return;
    }
    hasUnsavedReceptions_ = false;
}

// MARK: Alerts

void BluetoothTrackerManager::checkLossAlerts(Timestamp now) {
    if (!isScanning_ || ports_.central.state() != BluetoothCentralState::poweredOn || !monitoringStartedAt_) return;
    // By index and on copies: an alert may run a slow script, and nothing
    // it does may invalidate the walk.
    for (std::size_t i = 0; i < trackedDevices_.size(); ++i) {
        const TrackedBluetoothDevice device = trackedDevices_[i];
        if (!device.lossAlertEnabled || !heardThisScan_.contains(device.id) || lossAlertedIDs_.contains(device.id) ||
            secondsBetween(device.lastSeen, now) < device.lossAlertDelay) {
            continue;
        }
        lossAlertedIDs_.insert(device.id);
        notifications_.post({
            .identifier = "bluetooth-lost-" + device.id.string() + "-" + doubleDescription(unixSeconds(now)),
            .title = device.name + " is no longer nearby",
            .body = "No Bluetooth signal has been received for " + lossDelayDescription(device.lossAlertDelay) +
                    ". Check whether the device is still nearby.",
        });
        sendIMessageLossAlert(device);
    }
    changed_.notify();
}

void BluetoothTrackerManager::sendIMessage(const std::string& text, std::string_view successPrefix) {
    const auto sent = MessagesAlertSender::send(text, iMessageRecipient_, ports_.scripts);
    if (sent) {
        iMessageStatus_ = std::string(successPrefix) + shortTime(loop_.now());
    } else {
        iMessageStatus_ = "Last delivery failed";
        errorMessage_ = sent.error().description();
    }
    changed_.notify();
}

void BluetoothTrackerManager::sendIMessageLossAlert(const TrackedBluetoothDevice& device) {
    if (!iMessageAlertsEnabled_) return;
    sendIMessage("Corvane alert: " + device.name + " is no longer nearby. No Bluetooth signal has been received for " +
                     lossDelayDescription(device.lossAlertDelay) + ".",
                 "Last alert sent at ");
}

void BluetoothTrackerManager::sendRecoveryAlert(const TrackedBluetoothDevice& device) {
    notifications_.post({
        .identifier = "bluetooth-returned-" + device.id.string() + "-" + doubleDescription(unixSeconds(loop_.now())),
        .title = device.name + " is nearby again",
        .body = "Corvane is receiving its Bluetooth signal again.",
    });
    if (!iMessageAlertsEnabled_) return;
    sendIMessage("Corvane update: " + device.name + " is nearby again. Its Bluetooth signal has returned.",
                 "Last update sent at ");
}

void BluetoothTrackerManager::updateIMessageStatus() {
    if (trimmedWhitespaceAndNewlines(iMessageRecipient_).empty()) {
        iMessageStatus_ = "Not configured";
    } else {
        iMessageStatus_ = iMessageAlertsEnabled_ ? "Enabled" : "Ready, but off";
    }
    changed_.notify();
}

void BluetoothTrackerManager::sendTestIMessage() {
    const auto sent = MessagesAlertSender::send("Corvane test alert. Messages delivery is working on this Mac.",
                                                iMessageRecipient_, ports_.scripts);
    if (sent) {
        iMessageStatus_ = "Test message sent";
    } else {
        iMessageStatus_ = "Could not send";
        errorMessage_ = sent.error().description();
    }
    changed_.notify();
}

void BluetoothTrackerManager::macDidWake() {
    if (isScanning_) {
        monitoringStartedAt_ = loop_.now();
    } else {
        monitoringStartedAt_.reset();
    }
    heardThisScan_.clear();
    // Asking an unpowered radio to scan would only fail.
    if (scanRequested_ && !isFinding_ && ports_.central.state() == BluetoothCentralState::poweredOn) {
        isRadioScanning_ = true;
        ports_.central.startScan();
    }
    changed_.notify();
}

// MARK: Location

void BluetoothTrackerManager::askForLocation(Timestamp now) {
    switch (ports_.location.authorization()) {
    case LocationAuthorization::authorized: requestLocationIfNeeded(now); break;
    case LocationAuthorization::notDetermined: ports_.location.requestWhenInUseAuthorization(); break;
    case LocationAuthorization::denied: break;
    }
}

void BluetoothTrackerManager::requestLocationIfNeeded(Timestamp now) {
    if (ports_.location.authorization() != LocationAuthorization::authorized) return;
    if (!hasElapsed(lastLocationRequest_, now, kLocationRequestSpacing)) return;
    lastLocationRequest_ = now;
    ports_.location.requestLocation();
}

std::optional<LocationFix> BluetoothTrackerManager::recentLocation(Timestamp now) const {
    if (!currentLocation_ || std::fabs(secondsBetween(currentLocation_->timestamp, now)) >= kLocationRequestSpacing) {
        return std::nullopt;
    }
    return currentLocation_;
}

void BluetoothTrackerManager::locationsReceived(const std::vector<LocationFix>& fixes) {
    if (fixes.empty()) return;
    // One non-finite coordinate stored with a device would make every later
    // save of the tracked list fail.
    const LocationFix& fix = fixes.back();
    if (!(fix.horizontalAccuracy >= 0) || !std::isfinite(fix.latitude) || !std::isfinite(fix.longitude)) return;
    currentLocation_ = fixes.back();
}

void BluetoothTrackerManager::locationFailed(const LocationError& error) {
    if (error.code == 0) return;
    setErrorMessage("The Mac's location is unavailable: " + error.description);
}

}  // namespace corvane
