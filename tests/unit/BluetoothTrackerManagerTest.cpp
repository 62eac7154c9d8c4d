// SPDX-License-Identifier: GPL-3.0-or-later
// BluetoothTrackerManager on virtual time with scripted radio, location,
// wake, sound and Messages stand-ins.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "app/BluetoothTrackerManager.h"
#include "support/FakeBluetoothPlatform.h"
#include "support/FakeDefaultsStore.h"
#include "support/FakeNotificationCenter.h"
#include "support/ManualEventLoop.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;
using State = BluetoothCentralState;

const Uuid kKeys = *Uuid::parse("AAAA0000-0000-4000-8000-000000000001");
const Uuid kBag = *Uuid::parse("BBBB0000-0000-4000-8000-000000000002");

class BluetoothTrackerManagerTest : public ::testing::Test {
protected:
    BluetoothTrackerManagerTest() { loop_.setWallClock(*fromSecondsSinceReferenceDate(800000000)); }
    ~BluetoothTrackerManagerTest() override {
        manager_.reset();
        std::filesystem::remove_all(folder_);
    }

    BluetoothTrackerManager& make() {
        manager_.reset();  // the old one lets go of the shared ports first
        manager_ = std::make_unique<BluetoothTrackerManager>(loop_, defaults_, notifications_, platform_.ports(folder_));
        return *manager_;
    }
    // A manager scanning with the radio on.
    BluetoothTrackerManager& scanning() {
        make();
        platform_.central.report(State::poweredOn);
        manager_->startScanning();
        return *manager_;
    }
    void hear(const Uuid& id, int rssi, std::optional<std::string> localName = std::nullopt,
              std::vector<std::string> services = {}, std::optional<std::string> peripheralName = std::nullopt) {
        platform_.central.advertise({id, std::move(peripheralName), std::move(localName), std::move(services), rssi});
    }
    const DiscoveredTracker& entry(const Uuid& id) const {
        for (const auto& device : manager_->devices()) {
            if (device.id == id) return device;
        }
        throw std::runtime_error("not listed");
    }
    // Tracks a heard device with its loss alert on and the given delay.
    void trackArmed(const Uuid& id, double delay = 15) {
        hear(id, -60, "Keys");
        manager_->track(entry(id));
        manager_->setLossAlertDelay(delay, id);
        manager_->setLossAlert(true, id);
    }
    std::string fileText() const {
        std::stringstream text;
        text << std::ifstream(folder_ + "/tracked-bluetooth-devices.json").rdbuf();
        return text.str();
    }
    std::vector<std::string> titles() const {
        std::vector<std::string> result;
        for (const auto& posted : notifications_.posted) result.push_back(posted.title);
        return result;
    }

    static std::string makeFolder() {
        std::string pattern = "/tmp/corvane-bt-XXXXXX";
        return ::mkdtemp(pattern.data());
    }
    const std::string folder_ = makeFolder();
    ManualEventLoop loop_;
    FakeDefaultsStore defaults_;
    FakeNotificationCenter notifications_;
    FakeBluetoothPlatform platform_;
    std::unique_ptr<BluetoothTrackerManager> manager_;
};

TEST_F(BluetoothTrackerManagerTest, ScanFollowsThePowerStateAndCountsTheListedDevices) {
    auto& manager = make();
    manager.startScanning();
    EXPECT_EQ(manager.state(), "Bluetooth is unavailable");
    platform_.central.report(State::poweredOff);
    EXPECT_EQ(manager.state(), "Turn on Bluetooth to configure a tracker");
    platform_.central.report(State::poweredOn);
    EXPECT_TRUE(platform_.central.scanning && manager.isScanning());
    EXPECT_EQ(manager.state(), "Looking for Bluetooth devices…");
    hear(kKeys, -60);
    EXPECT_EQ(manager.state(), "Found 1 Bluetooth device");
    hear(kBag, -70);
    EXPECT_EQ(manager.state(), "Found 2 Bluetooth devices");
    manager.stopScanning();
    EXPECT_EQ(std::pair(manager.state(), manager.devices().size()), std::pair(std::string("Choose a Bluetooth device"), 2ul));
    EXPECT_FALSE(platform_.central.scanning);
    manager.startScanning();
    manager.stopScanning();
    EXPECT_EQ(manager.state(), "No Bluetooth devices found");
}

TEST_F(BluetoothTrackerManagerTest, AdvertisementsOfOneDeviceAreThrottledOutsideFinderMode) {
    auto& manager = scanning();
    hear(kKeys, 127);  // refused, but counted for the throttle
    loop_.advance(1500ms);
    hear(kKeys, -60);
    EXPECT_TRUE(manager.devices().empty());
    loop_.advance(500ms);
    hear(kKeys, -61);
    loop_.advance(1500ms);
    hear(kKeys, -62);
    EXPECT_EQ(entry(kKeys).rssi, -61);
    // A new scan run forgets the throttle with the list.
    manager.stopScanning();
    manager.startScanning();
    hear(kKeys, -63);
    EXPECT_EQ(entry(kKeys).rssi, -63);
    manager.startFinding(kKeys);
    loop_.advance(100ms);
    hear(kKeys, -64);
    EXPECT_EQ(std::pair(entry(kKeys).rssi, manager.state()), std::pair(-64, std::string("Live signal · -64 dBm")));
    hear(kBag, -50);
    EXPECT_EQ(manager.state(), "Live signal · -64 dBm");
}

TEST_F(BluetoothTrackerManagerTest, NamesAndTheMeshtasticMarkFollowTheAdvertisements) {
    scanning();
    hear(kKeys, -60);
    EXPECT_EQ(entry(kKeys).name, "Bluetooth device AAAA");
    loop_.advance(2s);
    hear(kKeys, -60, "Tile", {"6ba1b218-15a8-461f-9fa8-5dcae273eafd"});
    EXPECT_EQ(std::pair(entry(kKeys).name, entry(kKeys).isMeshtastic), std::pair(std::string("Tile"), true));
    loop_.advance(2s);
    hear(kKeys, -60, "Tile", {"180F"}, "My keys");
    EXPECT_EQ(std::pair(entry(kKeys).name, entry(kKeys).isMeshtastic), std::pair(std::string("My keys"), true));
}

TEST_F(BluetoothTrackerManagerTest, TrackedListIsSortedSavedAndEditedByIdentifier) {
    auto& manager = scanning();
    hear(kKeys, -60, "keys 10");
    hear(kBag, -70, "Keys 9");
    manager.track(entry(kKeys));
    manager.track(entry(kBag));
    EXPECT_EQ(manager.state(), "Tracking Keys 9");
    manager.track(entry(kBag));
    EXPECT_EQ(manager.state(), "Already tracking Keys 9");
    ASSERT_EQ(manager.trackedDevices().size(), 2u);
    EXPECT_EQ(manager.trackedDevices()[0].id, kBag);
    manager.renameTrackedDevice(kKeys, " A ");
    EXPECT_EQ(manager.trackedDevices()[1].name, " A ");
    manager.setLossAlertDelay(5, kBag);
    EXPECT_EQ(manager.trackedDevices()[0].lossAlertDelay, 15.0);
    EXPECT_NE(fileText().find(R"("name":" A ")"), std::string::npos);
    EXPECT_NE(fileText().find(R"("lossAlertDelay":15)"), std::string::npos);
    manager.stopTracking(kKeys);
    EXPECT_EQ(platform_.location.stops, 0);
    manager.stopTracking(kBag);
    EXPECT_EQ(std::pair(fileText(), platform_.location.stops), std::pair(std::string("[]"), 1));
}

TEST_F(BluetoothTrackerManagerTest, ReceptionsAreSavedAtMostEveryFiveSecondsAndAtTheEnd) {
    auto& manager = scanning();
    hear(kKeys, -60);
    manager.track(entry(kKeys));
    manager.startFinding(kKeys);  // no advertisement throttle
    const auto lastRSSI = [this] { return TrackedBluetoothDeviceFile(folder_ + "/tracked-bluetooth-devices.json").load().at(0).lastRSSI; };
    loop_.advance(3s);
    hear(kKeys, -61);
    EXPECT_EQ(lastRSSI(), -60);
    loop_.advance(2s);
    hear(kKeys, -62);
    EXPECT_EQ(lastRSSI(), -62);
    loop_.advance(1s);
    hear(kKeys, -63);
    manager_.reset();
    EXPECT_EQ(lastRSSI(), -63);
}

TEST_F(BluetoothTrackerManagerTest, AFailingDiskIsNotRetriedOnEveryAdvertisement) {
    auto& manager = scanning();
    hear(kKeys, -60);
    std::filesystem::remove_all(folder_);
    std::ofstream(folder_) << "in the way";
    manager.track(entry(kKeys));
    EXPECT_TRUE(manager.errorMessage()->starts_with("Could not save the tracked Bluetooth devices: "));
    std::filesystem::remove(folder_);
    loop_.advance(2s);
    hear(kKeys, -61);
    EXPECT_FALSE(std::filesystem::exists(folder_));
    loop_.advance(3s);
    hear(kKeys, -62);
    EXPECT_TRUE(std::filesystem::exists(folder_ + "/tracked-bluetooth-devices.json"));
}

TEST_F(BluetoothTrackerManagerTest, ASilentArmedDeviceAlarmsOnceAndReportsItsReturn) {
    auto& manager = scanning();
    const Timestamp start = loop_.now();
    trackArmed(kKeys);
    loop_.advance(15s);  // checks at 5, 10, 15: silent exactly 15 s at the last
    ASSERT_EQ(notifications_.posted.size(), 1u);
    const auto& lost = notifications_.posted[0];
    EXPECT_EQ(lost.title, "Keys is no longer nearby");
    EXPECT_EQ(lost.body, "No Bluetooth signal has been received for 15 seconds. Check whether the device is still nearby.");
    EXPECT_EQ(lost.identifier, "bluetooth-lost-" + kKeys.string() + "-" + std::to_string(static_cast<long long>(unixSeconds(start + 15s))) + ".0");
    loop_.advance(30s);
    EXPECT_EQ(notifications_.posted.size(), 1u);
    hear(kKeys, -60);
    hear(kKeys, -60);
    EXPECT_EQ(titles(), (std::vector<std::string>{"Keys is no longer nearby", "Keys is nearby again"}));
    EXPECT_EQ(notifications_.posted[1].body, "Corvane is receiving its Bluetooth signal again.");
    EXPECT_TRUE(notifications_.posted[1].identifier.starts_with("bluetooth-returned-" + kKeys.string() + "-"));
    loop_.advance(20s);
    EXPECT_EQ(notifications_.posted.size(), 3u);
    // Switched off while alerted (here as the alert is being posted, so the
    // mark must already be set): the mark goes without an update.
    hear(kKeys, -60);
    notifications_.onPost = [&](const LocalNotification&) {
        notifications_.onPost = nullptr;
        manager.setLossAlert(false, kKeys);
        manager.setLossAlert(true, kKeys);
    };
    for (int second = 0; second < 30 && notifications_.posted.size() < 5; ++second) loop_.advance(1s);
    ASSERT_EQ(notifications_.posted.size(), 5u);
    hear(kKeys, -60);
    EXPECT_EQ(notifications_.posted.size(), 5u);
}

TEST_F(BluetoothTrackerManagerTest, OnlyDevicesHeardInThisRunCanAlarm) {
    scanning();
    trackArmed(kKeys);
    // Relaunch: the stored record is old, and not heard yet.
    make();
    platform_.central.report(State::poweredOn);
    manager_->startScanning();
    loop_.advance(60s);
    EXPECT_TRUE(notifications_.posted.empty());
    // Heard, then a sleep: disarmed again until heard after the wake.
    hear(kKeys, -60);
    platform_.wake.wake();
    loop_.advance(60s);
    EXPECT_TRUE(notifications_.posted.empty());
    // Heard, then a power cut and return: a new run, disarmed again.
    hear(kKeys, -60);
    platform_.central.report(State::poweredOff);
    platform_.central.report(State::poweredOn);
    loop_.advance(60s);
    EXPECT_TRUE(notifications_.posted.empty());
    // A new delay re-arms an alerted device without an update.
    hear(kKeys, -60);
    loop_.advance(15s);
    manager_->setLossAlertDelay(30, kKeys);
    loop_.advance(15s);
    EXPECT_EQ(titles(), (std::vector<std::string>(2, "Keys is no longer nearby")));
    EXPECT_EQ(notifications_.posted[1].body,
              "No Bluetooth signal has been received for 30 seconds. Check whether the device is still nearby.");
}

TEST_F(BluetoothTrackerManagerTest, IMessageAlertsAndTheirStatusTexts) {
    auto& manager = scanning();
    manager.setIMessageAlertsEnabled(true);
    manager.setIMessageRecipient("  \n");
    manager.updateIMessageStatus();
    EXPECT_EQ(manager.iMessageStatus(), "Not configured");
    trackArmed(kKeys);
    loop_.advance(15s);
    EXPECT_EQ(std::pair(manager.iMessageStatus(), *manager.errorMessage()),
              std::pair(std::string("Last delivery failed"),
                        std::string("Enter an iPhone phone number or Apple Account email address first.")));
    EXPECT_EQ(notifications_.posted.size(), 1u);

    manager.setIMessageRecipient(" +4912345 ");
    EXPECT_EQ(defaults_.string("bluetoothLossIMessageRecipient"), " +4912345 ");
    manager.updateIMessageStatus();
    EXPECT_EQ(manager.iMessageStatus(), "Enabled");
    hear(kKeys, -60);
    EXPECT_TRUE(manager.iMessageStatus().starts_with("Last update sent at "));
    loop_.advance(15s);
    EXPECT_TRUE(manager.iMessageStatus().starts_with("Last alert sent at "));
    ASSERT_EQ(platform_.scripts.scripts.size(), 2u);
    EXPECT_NE(platform_.scripts.scripts[0].find(R"(send "Corvane update: Keys is nearby again. Its Bluetooth signal has returned." to)"), std::string::npos);
    EXPECT_NE(platform_.scripts.scripts[1].find(R"(send "Corvane alert: Keys is no longer nearby. No Bluetooth signal has been received for 15 seconds." to)"), std::string::npos);

    platform_.scripts.outcome = {ScriptOutcome::Kind::failed, "not signed in"};
    manager.sendTestIMessage();
    EXPECT_EQ(std::pair(manager.iMessageStatus(), *manager.errorMessage()),
              std::pair(std::string("Could not send"), std::string("Messages could not send the alert: not signed in")));
    manager.setIMessageAlertsEnabled(false);
    manager.updateIMessageStatus();
    EXPECT_EQ(manager.iMessageStatus(), "Ready, but off");
    EXPECT_EQ(defaults_.boolean("bluetoothLossIMessageEnabled"), false);
}

TEST_F(BluetoothTrackerManagerTest, FinderClicksArePacedByTheBand) {
    const std::vector<std::pair<int, int>> cases = {{-45, 20}, {-60, 14}, {-70, 8}, {-90, 0}};
    for (const auto& [rssi, clicks] : cases) {
        auto& manager = scanning();
        hear(kKeys, rssi);
        manager.startFinding(kKeys);
        manager.setFinderSoundEnabled(true);
        platform_.sound.clicks = 0;
        for (int second = 0; second < 10; ++second) {
            hear(kKeys, rssi);
            loop_.advance(1s);
        }
        EXPECT_EQ(platform_.sound.clicks, clicks) << rssi;
        // Silent for more than 5 s: the signal counts as lost and clicks end.
        loop_.advance(4s);
        const int before = platform_.sound.clicks;
        loop_.advance(10s);
        EXPECT_LE(platform_.sound.clicks - before, rssi == -45 ? 2 : 1) << rssi;
        EXPECT_TRUE(manager.isFinderSignalLost(loop_.now()));
        manager.stopFinding();
        EXPECT_EQ(std::pair(manager.isScanning(), manager.state()), std::pair(false, std::string("Choose a Bluetooth device")));
    }
}

TEST_F(BluetoothTrackerManagerTest, FinderModeAndWakesFollowThePower) {
    auto& manager = make();
    manager.startFinding(kKeys);
    EXPECT_FALSE(manager.isFinding());
    platform_.central.report(State::poweredOn);
    manager.startFinding(kKeys);
    EXPECT_EQ(manager.state(), "Finding device…");
    platform_.central.report(State::poweredOff);
    EXPECT_FALSE(platform_.central.scanning);
    platform_.central.report(State::poweredOn);
    EXPECT_TRUE(platform_.central.scanning && manager.isScanning() && manager.isFinding());
    manager.stopFinding();

    manager.startScanning();
    platform_.central.report(State::poweredOff);
    const int starts = platform_.central.scanStarts;
    platform_.wake.wake();
    EXPECT_EQ(platform_.central.scanStarts, starts);
    platform_.central.report(State::poweredOn);
    platform_.wake.wake();
    EXPECT_EQ(platform_.central.scanStarts, starts + 2);
}

TEST_F(BluetoothTrackerManagerTest, LocationIsAskedRarelyAndStoredOnlyWhenFresh) {
    platform_.location.status = LocationAuthorization::authorized;
    auto& manager = scanning();
    platform_.location.deliver({52.5, 13.25, -1, loop_.now()});
    platform_.location.fail({0, "no fix"});
    EXPECT_FALSE(manager.errorMessage());
    hear(kKeys, -60);
    manager.track(entry(kKeys));
    EXPECT_EQ(platform_.location.locationRequests, 1);
    EXPECT_FALSE(manager.trackedDevices()[0].latitude);
    platform_.location.deliver({52.5, 13.25, 65, loop_.now()});
    loop_.advance(299s);
    hear(kKeys, -60);
    EXPECT_EQ(platform_.location.locationRequests, 1);
    EXPECT_EQ(manager.trackedDevices()[0].latitude, 52.5);
    platform_.location.deliver({1, 2, 65, loop_.now() - 300s});
    loop_.advance(2s);
    hear(kKeys, -61);
    EXPECT_EQ(platform_.location.locationRequests, 2);
    EXPECT_EQ(manager.trackedDevices()[0].latitude, 52.5);
    // A non-finite coordinate would make every later save fail.
    for (const LocationFix bad : {LocationFix{std::nan(""), 2, 65, loop_.now()}, LocationFix{1, INFINITY, 65, loop_.now()}}) {
        platform_.location.deliver(bad);
        loop_.advance(2s);
        hear(kKeys, -62);
        EXPECT_EQ(manager.trackedDevices()[0].latitude, 52.5);
    }
    platform_.location.fail({1, "Location services are off"});
    EXPECT_EQ(manager.errorMessage(), "The Mac's location is unavailable: Location services are off");
}

TEST_F(BluetoothTrackerManagerTest, CreationWithTrackedDevicesAsksForLocationPermission) {
    scanning();
    hear(kKeys, -60);
    manager_->track(entry(kKeys));
    EXPECT_EQ(platform_.location.authorizationRequests, 1);
    manager_.reset();
    make();
    EXPECT_EQ(platform_.location.authorizationRequests, 2);
    platform_.location.authorize(LocationAuthorization::authorized);
    EXPECT_EQ(platform_.location.locationRequests, 1);
}

}  // namespace
}  // namespace corvane
