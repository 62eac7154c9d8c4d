// SPDX-License-Identifier: GPL-3.0-or-later
// Alerts on the user's phone: what the model's alert sources send, the
// waiting queue for a phone out of reach (virtual time), and the status.
#include <gtest/gtest.h>

#include "app/PhoneAlerts.h"
#include "support/FakeDefaultsStore.h"
#include "support/FakePhoneChannel.h"
#include "support/ManualEventLoop.h"
#include "unit/CorvaneModelFixture.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;
using Texts = std::vector<std::string>;

const PairedPhone kPixel{"a1b2c3d4_pixel", "Pixel 7", true};
const PairedPhone kTablet{"e5f6_tablet", "Tab S8", true};
const PairedPhone kPixelAway{"a1b2c3d4_pixel", "Pixel 7", false};

class PhoneAlertsTest : public ::testing::Test {
protected:
    PhoneAlertsTest() {
        channel_.list = {kPixel, kTablet};
        alerts_.setEnabled(true);
        alerts_.setDevice(kPixel.id);
    }
    void reachable(bool on) { channel_.update({on ? kPixel : kPixelAway, kTablet}); }
    std::string sentAtNow() const { return "Last alert sent at " + shortTime(loop_.now()); }

    ManualEventLoop loop_;
    FakeDefaultsStore defaults_;
    FakePhoneChannel channel_;
    PhoneAlerts alerts_{loop_, defaults_, &channel_};
};

TEST_F(PhoneAlertsTest, AlertsForAPhoneOutOfReachWaitAndGoOutOldestFirstAndOnlyOnce) {
    reachable(false);
    for (const char* text : {"A", "B", "C"}) alerts_.send(text);
    EXPECT_TRUE(channel_.sent.empty());
    EXPECT_EQ(alerts_.status(), "Phone not reachable · 3 alerts waiting");
    reachable(true);
    ASSERT_EQ(channel_.texts(), Texts{"A"}) << "one at a time";
    EXPECT_EQ(channel_.sent[0].phoneID, kPixel.id);
    // Gone and back while A is handed over: A is not sent again.
    reachable(false);
    reachable(true);
    channel_.complete();
    // A failure is not retried either: the daemon may have shown it.
    channel_.complete("No such object path");
    EXPECT_EQ(alerts_.status(), "Last delivery failed");
    reachable(false);
    EXPECT_EQ(alerts_.status(), "Phone not reachable · 0 alerts waiting") << "C is on its way";
    reachable(true);
    channel_.complete();
    alerts_.send("D");
    channel_.complete();
    EXPECT_EQ(channel_.texts(), (Texts{"A", "B", "C", "D"}));
    EXPECT_EQ(alerts_.status(), sentAtNow());
}

TEST_F(PhoneAlertsTest, AtMostTwentyWaitNoneLongerThanAnHourByEitherClock) {
    reachable(false);
    for (int i = 1; i <= 23; ++i) alerts_.send("alert " + std::to_string(i));
    EXPECT_EQ(alerts_.status(), "Phone not reachable · 20 alerts waiting · 3 dropped");
    loop_.advance(30min);
    alerts_.send("late");
    loop_.advance(30min - 1s);
    EXPECT_EQ(alerts_.waitingCount(), 20u);
    loop_.advance(1s);
    EXPECT_EQ(alerts_.status(), "Phone not reachable · 1 alert waiting · 23 dropped");
    reachable(true);
    channel_.complete();
    EXPECT_EQ(channel_.texts(), Texts{"late"});
    EXPECT_EQ(alerts_.status(), sentAtNow() + " · 23 dropped");

    // Suspended for two hours (only the wall clock moved), or the wall clock
    // set back: either way the alert is too old.
    for (const auto jump : {2h, -3h}) {
        reachable(false);
        alerts_.send("too old");
        loop_.jumpWallClock(jump);
        loop_.advance(jump < 0s ? 1h : 0s);
        reachable(true);
        EXPECT_EQ(channel_.sent.size(), 1u);
        EXPECT_EQ(alerts_.droppedCount(), 1u) << "a new run of waiting counts afresh";
    }
    EXPECT_EQ(loop_.activeTimerCount(), 0u);
}

TEST_F(PhoneAlertsTest, NothingIsKeptForNoPhoneOrWhileOff) {
    reachable(false);
    alerts_.send("waits");
    alerts_.setEnabled(false);  // what waited goes
    alerts_.send("off");
    alerts_.setEnabled(true);
    alerts_.setDevice("");
    alerts_.send("no phone chosen");
    alerts_.setDevice(kPixel.id);
    reachable(true);
    EXPECT_TRUE(channel_.sent.empty());
}

TEST_F(PhoneAlertsTest, StatusFollowsTheServiceThePhonesAndTheChoice) {
    const auto statusWith = [this](bool running, std::vector<PairedPhone> phones, std::string device, bool enabled) {
        channel_.update(std::move(phones), running);
        alerts_.setDevice(std::move(device));
        alerts_.setEnabled(enabled);
        return alerts_.status();
    };
    EXPECT_EQ(statusWith(false, {kPixel}, kPixel.id, true), "KDE Connect is not running");
    EXPECT_EQ(statusWith(true, {}, kPixel.id, true), "No paired phone");
    EXPECT_EQ(statusWith(true, {kTablet}, kPixel.id, true), "Not configured");
    EXPECT_EQ(statusWith(true, {kTablet, kPixel}, kPixel.id, false), "Ready, but off");
    EXPECT_EQ(statusWith(true, {kPixel}, kPixel.id, true), "Enabled");
    EXPECT_EQ(statusWith(true, {kPixelAway}, kPixel.id, true), "Phone not reachable · 0 alerts waiting");
    // The test alert goes out while off too; to a phone out of reach it fails at once.
    EXPECT_EQ(statusWith(true, {kPixelAway, kTablet}, kTablet.id, false), "Ready, but off");
    alerts_.sendTest();
    ASSERT_EQ(channel_.sent.size(), 1u);
    EXPECT_EQ(std::pair(channel_.sent[0].phoneID, channel_.sent[0].text),
              std::pair(kTablet.id, std::string(PhoneAlerts::kTestText)));
    channel_.complete();
    EXPECT_EQ(alerts_.status(), sentAtNow());
    alerts_.setDevice(kPixel.id);
    alerts_.sendTest();
    EXPECT_EQ(channel_.sent.size(), 1u);
    EXPECT_EQ(alerts_.status(), "Last delivery failed");
}

TEST_F(PhoneAlertsTest, TheChoiceIsStoredButAPhoneChosenForOneRunIsNot) {
    EXPECT_EQ(defaults_.boolean("phoneAlertsEnabled"), true);
    EXPECT_EQ(defaults_.string("phoneAlertDevice"), kPixel.id);
    defaults_.values.clear();
    PhoneAlerts headless(loop_, defaults_, &channel_);
    EXPECT_FALSE(headless.enabled());
    headless.useForThisRun("Tab S8");  // by name
    EXPECT_EQ(headless.chosenPhone(), &channel_.list[1]);
    EXPECT_TRUE(defaults_.values.empty());
    PhoneAlerts stored(loop_, defaults_, &channel_);
    EXPECT_EQ(stored.chosenPhone(), nullptr);
}

// The model's alert sources reach the phone through one forwarder; mesh text stays on the desktop.
class PhoneAlertSourcesTest : public CorvaneModelFixture {
protected:
    void deliverAll() {
        while (phone_.answered < phone_.sent.size()) phone_.complete();
    }
};

TEST_F(PhoneAlertSourcesTest, EveryAlertKindIsSentAsTitleColonBody) {
    phone_.list = {kPixel};
    startConnected();
    model().phoneAlerts().setEnabled(true);
    model().phoneAlerts().setDevice(kPixel.id);
    // Movement, and mesh text.
    emitNode(makeNode(7, "Bike", positionAt(7, 0, 0)));
    model().setGuarded(makeNode(7, "Bike"));
    model().markGuardedPosition();
    emitNode(makeNode(7, "Bike", positionAt(7, 80.4, 60)));
    emitNode(makeNode(7, "Bike", positionAt(7, 90.4, 120)));
    emitMessage(makeMessage(1, 7, "hello"));
    deliverAll();
    // Bluetooth loss and return.
    auto& trackers = model().bluetoothTrackers();
    const Uuid keys = *Uuid::parse("AAAA0000-0000-4000-8000-000000000001");
    bluetooth_.central.report(BluetoothCentralState::poweredOn);
    trackers.startScanning();
    bluetooth_.central.advertise({keys, std::nullopt, "Keys", {}, -60});
    trackers.track(trackers.devices().front());
    trackers.setLossAlert(true, keys);
    loop_.advance(30s);
    deliverAll();
    bluetooth_.central.advertise({keys, std::nullopt, "Keys", {}, -60});
    trackers.stopScanning();
    deliverAll();
    // Network departure and return.
    const BrowsedService kitchen{"Kitchen", "_airplay._tcp", "local.", "eth0"};
    model().localNetwork().start();
    services_.deliver("_airplay._tcp", {kitchen});
    loop_.runPending();
    model().localNetwork().setLossAlert(true, "kitchen|local.");
    services_.deliver("_airplay._tcp", {});
    loop_.advance(605s);
    deliverAll();
    services_.deliver("_airplay._tcp", {kitchen});
    loop_.runPending();
    deliverAll();

    EXPECT_EQ(phone_.texts(),
              (Texts{"Guarded device moved: Two positions place the device outside the marked area. Latest distance: "
                     "about 90 m.",
                     "Keys is no longer nearby: No Bluetooth signal has been received for 30 seconds. Check whether the "
                     "device is still nearby.",
                     "Keys is nearby again: Corvane is receiving its Bluetooth signal again.",
                     "Device left the network: Kitchen has not been available on the Local Network for 10 minutes.",
                     "Device returned to the network: Kitchen is available on the Local Network again."}));
    EXPECT_EQ(notifications_.posted.size(), 6u) << "the desktop still has every one, and the mesh text";
}

}  // namespace
}  // namespace corvane
