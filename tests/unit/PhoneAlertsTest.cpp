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

PairedPhone away(PairedPhone phone) {
    phone.reachable = false;
    return phone;
}

class PhoneAlertsTest : public ::testing::Test {
protected:
    PhoneAlertsTest() { channel_.list = {kPixel, kTablet}; }

    PhoneAlerts& armed(const PairedPhone& phone = kPixel) {
        alerts_.setEnabled(true);
        alerts_.setDevice(phone.id);
        return alerts_;
    }
    void reachable(bool on) { channel_.update({on ? kPixel : away(kPixel), kTablet}); }
    // Answers every send, including those each answer lets out.
    void answerAll() {
        while (channel_.answered < channel_.sent.size()) channel_.complete();
    }

    ManualEventLoop loop_;
    FakeDefaultsStore defaults_;
    FakePhoneChannel channel_;
    PhoneAlerts alerts_{loop_, defaults_, &channel_};
};

TEST_F(PhoneAlertsTest, AlertsForAPhoneOutOfReachWaitAndGoOutOldestFirstAndOnlyOnce) {
    auto& alerts = armed();
    reachable(false);
    for (const char* text : {"A", "B", "C"}) alerts.send(text);
    EXPECT_TRUE(channel_.sent.empty());
    EXPECT_EQ(alerts.status(), "Phone not reachable · 3 alerts waiting");

    reachable(true);
    ASSERT_EQ(channel_.texts(), Texts{"A"}) << "one at a time";
    EXPECT_EQ(channel_.sent[0].phoneID, kPixel.id);
    EXPECT_EQ(alerts.waitingCount(), 2u);
    // Gone and back while A is being handed over: A is not sent again.
    reachable(false);
    reachable(true);
    channel_.complete();
    ASSERT_EQ(channel_.texts(), (Texts{"A", "B"}));
    // A failed delivery is not retried either: the daemon may have sent it.
    channel_.complete("No such object path '/modules/kdeconnect/devices/a1b2c3d4_pixel/ping'");
    EXPECT_EQ(alerts.status(), "Last delivery failed");
    EXPECT_TRUE(alerts.lastError().has_value());
    answerAll();
    alerts.send("D");
    answerAll();
    EXPECT_EQ(channel_.texts(), (Texts{"A", "B", "C", "D"}));
    EXPECT_EQ(alerts.status(), "Last alert sent at " + shortTime(loop_.now()));
    EXPECT_FALSE(alerts.lastError().has_value());
}

TEST_F(PhoneAlertsTest, AtMostTwentyWaitAndTheOldestAreDroppedAndCounted) {
    auto& alerts = armed();
    reachable(false);
    for (int i = 1; i <= 23; ++i) alerts.send("alert " + std::to_string(i));
    EXPECT_EQ(alerts.waitingCount(), 20u);
    EXPECT_EQ(alerts.status(), "Phone not reachable · 20 alerts waiting · 3 dropped");
    reachable(true);
    answerAll();
    ASSERT_EQ(channel_.sent.size(), 20u);
    EXPECT_EQ(channel_.sent.front().text, "alert 4");
    EXPECT_EQ(channel_.sent.back().text, "alert 23");
    EXPECT_EQ(alerts.status(), "Last alert sent at " + shortTime(loop_.now()) + " · 3 dropped");
    // The next alert starts a new count.
    alerts.send("later");
    answerAll();
    EXPECT_EQ(alerts.droppedCount(), 0u);
}

TEST_F(PhoneAlertsTest, AlertsOlderThanAnHourAreDroppedByEitherClock) {
    auto& alerts = armed();
    reachable(false);
    alerts.send("first");
    loop_.advance(30min);
    alerts.send("second");
    loop_.advance(30min - 1s);
    EXPECT_EQ(alerts.waitingCount(), 2u);
    loop_.advance(1s);
    EXPECT_EQ(alerts.status(), "Phone not reachable · 1 alert waiting · 1 dropped");
    loop_.advance(30min);
    EXPECT_EQ(alerts.status(), "Phone not reachable · 0 alerts waiting · 2 dropped");
    EXPECT_EQ(loop_.activeTimerCount(), 0u);

    // Suspended for two hours: only the wall clock moved on.
    alerts.send("before sleep");
    loop_.jumpWallClock(2h);
    reachable(true);
    EXPECT_TRUE(channel_.sent.empty());
    EXPECT_EQ(alerts.droppedCount(), 1u) << "a new run of waiting counts afresh";
    // The wall clock set back does not keep an old alert either.
    reachable(false);
    alerts.send("before clock change");
    loop_.jumpWallClock(-3h);
    loop_.advance(1h);
    reachable(true);
    EXPECT_TRUE(channel_.sent.empty());
    EXPECT_EQ(alerts.droppedCount(), 1u);
}

TEST_F(PhoneAlertsTest, NothingIsKeptWhileOffAndSwitchingOffDropsWhatWaits) {
    alerts_.send("off: ignored");
    alerts_.setEnabled(true);
    alerts_.send("no phone chosen: ignored");
    alerts_.setDevice(kPixel.id);
    reachable(false);
    alerts_.send("waits");
    alerts_.setEnabled(false);
    alerts_.setEnabled(true);
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
    EXPECT_EQ(statusWith(true, {kPixel}, "", true), "Not configured");
    EXPECT_EQ(statusWith(true, {kTablet, kPixel}, kPixel.id, false), "Ready, but off");
    EXPECT_EQ(statusWith(true, {kPixel}, kPixel.id, true), "Enabled");
    EXPECT_EQ(statusWith(true, {away(kPixel)}, kPixel.id, true), "Phone not reachable · 0 alerts waiting");
    EXPECT_EQ(statusWith(true, {away(kPixel)}, kPixel.id, false), "Ready, but off");
    // The test alert goes out while off too, and reports its outcome.
    EXPECT_EQ(statusWith(true, {kPixel, kTablet}, kTablet.id, false), "Ready, but off");
    alerts_.sendTest();
    ASSERT_EQ(channel_.sent.size(), 1u);
    EXPECT_EQ(std::pair(channel_.sent[0].phoneID, channel_.sent[0].text),
              std::pair(kTablet.id, std::string(PhoneAlerts::kTestText)));
    channel_.complete();
    EXPECT_EQ(alerts_.status(), "Last alert sent at " + shortTime(loop_.now()));
    channel_.update({kPixel, away(kTablet)});
    alerts_.sendTest();
    EXPECT_EQ(channel_.sent.size(), 1u);
    EXPECT_EQ(alerts_.status(), "Last delivery failed");
}

TEST_F(PhoneAlertsTest, TheChoiceIsStoredButAPhoneChosenForOneRunIsNot) {
    armed(kTablet);
    EXPECT_EQ(defaults_.boolean("phoneAlertsEnabled"), true);
    EXPECT_EQ(defaults_.string("phoneAlertDevice"), kTablet.id);
    PhoneAlerts again(loop_, defaults_, &channel_);
    EXPECT_EQ(again.chosenPhone(), &channel_.list[1]);

    defaults_.values.clear();
    PhoneAlerts headless(loop_, defaults_, &channel_);
    headless.useForThisRun("Pixel 7");  // by name
    EXPECT_TRUE(headless.enabled());
    EXPECT_EQ(headless.chosenPhone(), &channel_.list[0]);
    EXPECT_TRUE(defaults_.values.empty());
    headless.send("hello");
    EXPECT_EQ(channel_.sent.back().phoneID, kPixel.id);
}

// The model's alert sources reach the phone through one forwarder; mesh text stays on the desktop.
class PhoneAlertSourcesTest : public CorvaneModelFixture {};

TEST_F(PhoneAlertSourcesTest, EveryAlertKindIsSentAsTitleColonBody) {
    phone_.list = {kPixel};
    startConnected();
    model().phoneAlerts().setEnabled(true);
    model().phoneAlerts().setDevice(kPixel.id);
    const auto deliverAll = [this] {
        while (phone_.answered < phone_.sent.size()) phone_.complete();
    };

    // Movement.
    emitNode(makeNode(7, "Bike", positionAt(7, 0, 0)));
    model().setGuarded(makeNode(7, "Bike"));
    model().markGuardedPosition();
    emitNode(makeNode(7, "Bike", positionAt(7, 80.4, 60)));
    emitNode(makeNode(7, "Bike", positionAt(7, 90.4, 120)));
    // Mesh text.
    emitMessage(makeMessage(1, 7, "hello"));
    deliverAll();

    // Bluetooth loss and return.
    auto& trackers = model().bluetoothTrackers();
    const Uuid keys = *Uuid::parse("AAAA0000-0000-4000-8000-000000000001");
    bluetooth_.central.report(BluetoothCentralState::poweredOn);
    trackers.startScanning();
    bluetooth_.central.advertise({keys, std::nullopt, "Keys", {}, -60});
    trackers.track(trackers.devices().front());
    trackers.setLossAlertDelay(15, keys);
    trackers.setLossAlert(true, keys);
    loop_.advance(15s);
    deliverAll();
    bluetooth_.central.advertise({keys, std::nullopt, "Keys", {}, -60});
    trackers.stopScanning();
    deliverAll();

    // Network departure and return.
    auto& network = model().localNetwork();
    network.start();
    services_.deliver("_airplay._tcp", {{"Kitchen", "_airplay._tcp", "local.", "eth0"}});
    loop_.runPending();
    network.setLossAlert(true, "kitchen|local.");
    services_.deliver("_airplay._tcp", {});
    loop_.advance(605s);
    deliverAll();
    services_.deliver("_airplay._tcp", {{"Kitchen", "_airplay._tcp", "local.", "eth0"}});
    loop_.runPending();
    deliverAll();

    EXPECT_EQ(phone_.texts(),
              (Texts{"Guarded device moved: Two positions place the device outside the marked area. Latest distance: "
                     "about 90 m.",
                     "Keys is no longer nearby: No Bluetooth signal has been received for 15 seconds. Check whether the "
                     "device is still nearby.",
                     "Keys is nearby again: Corvane is receiving its Bluetooth signal again.",
                     "Device left the network: Kitchen has not been available on the Local Network for 10 minutes.",
                     "Device returned to the network: Kitchen is available on the Local Network again."}));
    // The desktop still had every one of them, and the mesh text.
    EXPECT_EQ(notifications_.posted.size(), 6u);
}

}  // namespace
}  // namespace corvane
