// SPDX-License-Identifier: GPL-3.0-or-later
// Construction, the port list and the connection lifecycle of CorvaneModel.
#include <gtest/gtest.h>

#include <cmath>

#include "core/PositionStore.h"
#include "unit/CorvaneModelFixture.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;

constexpr std::string_view kLaunchFailureText = "Halvo Meshtastic Bridge could not be started: exec failed";

DefaultsStore::Data bytes(std::string_view text) { return DefaultsStore::Data(text.begin(), text.end()); }

using CorvaneModelTest = CorvaneModelFixture;

TEST_F(CorvaneModelTest, StoredSettingsAreReadAndBadOnesIgnoredOrRepaired) {
    // A radius of zero, or text in its place, means 75 m and is written back.
    defaults_.setNumber("parkingRadius", 0);
    EXPECT_EQ(start().parkingRadius(), 75.0);
    EXPECT_EQ(defaults_.number("parkingRadius"), 75.0);
    defaults_.setNumber("parkingRadius", 120);
    EXPECT_EQ(start().parkingRadius(), 120.0);
    defaults_.setString("parkingRadius", "120");
    EXPECT_EQ(start().parkingRadius(), 75.0);
    EXPECT_EQ(defaults_.number("parkingRadius"), 75.0);
    // A radius that could not be stored is refused, so memory and disk agree.
    model().setParkingRadius(40);
    for (const double bad : {std::nan(""), HUGE_VAL, -HUGE_VAL}) {
        model().setParkingRadius(bad);
        EXPECT_EQ(std::pair(model().parkingRadius(), defaults_.number("parkingRadius")), std::pair(40.0, std::optional(40.0)));
    }

    // Only a node number that fits 32 bits names a guarded node.
    for (const auto& [stored, guarded] : {std::pair(4294967296.0, std::optional<std::uint32_t>()), std::pair(-1.0, std::optional<std::uint32_t>()),
                                          std::pair(4294967295.0, std::optional(4294967295u))}) {
        defaults_.setNumber("guardedNode", stored);
        EXPECT_EQ(start().guardedNodeID(), guarded) << stored;
    }
    defaults_.remove("guardedNode");

    // An unknown profile is ignored, not overwritten.
    defaults_.setString("guardProfile", "bicycle");
    EXPECT_EQ(start().guardProfile(), GuardProfile::bicycle);
    defaults_.setString("guardProfile", "skateboard");
    EXPECT_EQ(start().guardProfile(), GuardProfile::general);
    EXPECT_EQ(defaults_.string("guardProfile"), "skateboard");
    model().setGuardProfile(GuardProfile::bicycle);
    EXPECT_EQ(defaults_.string("guardProfile"), "bicycle");

    // The older bike key is migrated only when no guarded node is stored.
    defaults_ = {};
    defaults_.setNumber("bikeNode", 1234);
    start();
    EXPECT_EQ(std::tuple(defaults_.number("guardedNode"), model().guardedNodeID(), model().guardProfile()),
              std::tuple(1234.0, 1234u, GuardProfile::bicycle));
    EXPECT_EQ(defaults_.string("guardProfile"), "bicycle");
    EXPECT_TRUE(defaults_.contains("bikeNode"));
    defaults_.setNumber("guardedNode", 5);
    defaults_.remove("guardProfile");
    start();
    EXPECT_EQ(std::tuple(model().guardedNodeID(), model().guardProfile()), std::tuple(5u, GuardProfile::general));
}

TEST_F(CorvaneModelTest, StoredParkedPositionArmsTheGuardAndUndecodableDataDoesNot) {
    const MeshPosition parked = positionAt(7, 0, -60);
    const auto encoded = encodeWithReferenceDate(parked);
    ASSERT_TRUE(encoded);
    defaults_.setData("parkedPosition", bytes(*encoded));
    defaults_.setNumber("guardedNode", 7);
    startConnected();
    EXPECT_EQ(model().parkedPosition(), parked);
    EXPECT_EQ(model().parkingStatus(), "Armed · waiting for movement");
    // The stored guarded node is watched against it.
    emitNode(makeNode(7, "Bike", positionAt(7, 80.4, 60)));
    emitNode(makeNode(7, "Bike", positionAt(7, 90.4, 120)));
    EXPECT_EQ(model().parkingStatus(), "Movement detected · 90 m from parked position");
    EXPECT_EQ(notifications_.posted.size(), 1u);

    // The same position with an ISO date, as the positions file writes it, is not the settings form.
    std::string iso = *encoded;
    const auto at = iso.find("\"timestamp\":");
    ASSERT_NE(at, std::string::npos);
    iso.replace(at, iso.find_first_of(",}", at) - at, "\"timestamp\":\"2026-03-01T08:59:00Z\"");
    for (const std::string_view stored : {std::string_view("not json"), std::string_view("{}"), std::string_view(iso)}) {
        defaults_.setData("parkedPosition", bytes(stored));
        start();
        EXPECT_FALSE(model().parkedPosition()) << stored;
        EXPECT_EQ(model().parkingStatus(), "No position marked");
    }
}

TEST_F(CorvaneModelTest, StartUpLoadsHistoryFromFileAndConnectsToTheOnlyDevice) {
    const MeshPosition stored = positionAt(3, 10, -3600);
    ASSERT_TRUE(PositionStore(dataFile("positions.json")).append(stored, PositionStore::kMaximumCount));
    addDevice("ttyACM0");
    addDevice("null");  // not a serial device name

    start();
    EXPECT_EQ(model().history(), std::vector<MeshPosition>{stored});
    EXPECT_EQ(model().availablePorts(), std::vector<std::string>{device("ttyACM0")});
    EXPECT_EQ(model().selectedPort(), device("ttyACM0"));
    ASSERT_EQ(launches(), 1u);
    EXPECT_EQ(bridge().request().command, MeshtasticBridgeCommand::connect);
    EXPECT_EQ(bridge().request().port, device("ttyACM0"));
    EXPECT_EQ(model().connectionState(), "Connecting…");

    acceptConnect(device("ttyACM0"));
    EXPECT_EQ(model().connectionState(), "Connected");
    EXPECT_EQ(model().connectedPort(), device("ttyACM0"));
    EXPECT_EQ(defaults_.string("serialPort"), device("ttyACM0"));
    EXPECT_FALSE(model().errorMessage());
}

TEST_F(CorvaneModelTest, RefreshPortsPrefersSavedThenSingleThenKeepsListedSelection) {
    addDevice("ttyACM0");
    addDevice("ttyUSB1");
    defaults_.setString("serialPort", device("ttyUSB1"));
    start();
    EXPECT_EQ(model().selectedPort(), device("ttyUSB1"));
    EXPECT_EQ(bridge().request().port, device("ttyUSB1"));

    defaults_.remove("serialPort");
    for (const auto& [chosen, kept] : {std::pair(device("ttyACM0"), device("ttyACM0")), std::pair(device("ttyACM9"), std::string())}) {
        model().setSelectedPort(chosen);
        model().refreshPorts();
        EXPECT_EQ(model().selectedPort(), kept);
    }
    std::filesystem::remove(device("ttyUSB1"));
    model().refreshPorts();
    EXPECT_EQ(model().selectedPort(), device("ttyACM0"));
}

TEST_F(CorvaneModelTest, NetworkRadiosAreListedAfterUsbOnesAndUsedOnlyOnceChosen) {
    defaults_.setString("networkRadios", R"(["tcp:radio.local", "/dev/ttyACM0", 7])");
    start();
    // Listed, but a network radio is no USB radio plugged in: nothing picked.
    EXPECT_EQ(model().availablePorts(), std::vector<std::string>{"tcp:radio.local"});
    EXPECT_EQ(model().selectedPort(), "");
    EXPECT_EQ(model().connectionState(), "Choose a USB radio in Settings");
    addDevice("ttyACM0");
    model().refreshPorts();
    EXPECT_EQ(model().availablePorts(), (std::vector<std::string>{device("ttyACM0"), "tcp:radio.local"}));
    EXPECT_EQ(model().selectedPort(), device("ttyACM0"));

    model().addNetworkRadio("tcp:[fd00::1]:4403");
    model().addNetworkRadio("tcp:radio.local");
    EXPECT_EQ(defaults_.string("networkRadios"), R"(["tcp:radio.local","tcp:[fd00::1]:4403"])");
    EXPECT_EQ(model().selectedPort(), "tcp:radio.local");
    // No file stands for it, and it is not swapped for the USB device.
    model().connect(model().selectedPort(), true);
    loop_.runPending();
    EXPECT_EQ(bridge().request().port, "tcp:radio.local");
    acceptConnect("tcp:radio.local");
    EXPECT_EQ(defaults_.string("serialPort"), "tcp:radio.local");
    model().refreshPorts();
    EXPECT_EQ(model().selectedPort(), "tcp:radio.local");

    // Removing it forgets the saved choice as well; the USB radio is picked again.
    model().removeNetworkRadio("tcp:radio.local");
    EXPECT_EQ(defaults_.string("networkRadios"), R"(["tcp:[fd00::1]:4403"])");
    EXPECT_FALSE(defaults_.string("serialPort"));
    EXPECT_EQ(model().selectedPort(), device("ttyACM0"));
}

TEST_F(CorvaneModelTest, NoDeviceAMissingOneOrSeveralUnchosenStartNothingNorDoesAnAbandonedAttempt) {
    start();
    EXPECT_EQ(model().connectionState(), "USB radio not connected");
    EXPECT_FALSE(model().connectedPort());
    model().setErrorMessage("earlier");
    model().connect("/dev/does-not-exist", true);
    loop_.runPending();
    EXPECT_EQ(shown(), Shown("USB base not connected", std::nullopt));
    EXPECT_FALSE(model().connectedPort());

    addDevice("ttyACM0");
    addDevice("ttyACM1");
    model().connect(std::nullopt, true);
    EXPECT_EQ(model().connectionState(), "Choose a USB radio in Settings");
    EXPECT_EQ(model().selectedPort(), "");
    loop_.advance(60s);
    EXPECT_EQ(launches(), 0u);

    model().connect(device("ttyACM1"), true);
    loop_.runPending();
    ASSERT_EQ(launches(), 1u);
    EXPECT_EQ(bridge().request().port, device("ttyACM1"));
    // The result of an abandoned attempt changes nothing.
    model().disconnect();
    acceptConnect(device("ttyACM1"), 0);
    EXPECT_EQ(model().connectionState(), "Disconnected");
    EXPECT_FALSE(model().connectedPort() || defaults_.string("serialPort"));
}

TEST_F(CorvaneModelTest, SecondConnectMakesTheFirstAttemptsResultsNoOps) {
    addDevice("ttyACM0");
    start();
    model().connect(std::nullopt, true);
    // The first child is asked to disconnect before the second starts.
    EXPECT_EQ(bridge().request().command, MeshtasticBridgeCommand::disconnect);
    acceptConnect(device("ttyACM0"), 0);
    const Response failure = news(Event::connected);  // no port: unreadable reply
    reply(failure, 0);
    EXPECT_EQ(shown(), Shown("Connecting…", std::nullopt));
    EXPECT_FALSE(model().connectedPort());

    reply(news(Event::ready));  // answers the disconnect
    ASSERT_EQ(launches(), 2u);
    reply(failure);
    EXPECT_EQ(shown(), Shown("USB connection failed", "Halvo Meshtastic Bridge returned an unreadable response."));
    loop_.advance(5s);
    loop_.advance(2s);  // the second child's disconnect time-out
    ASSERT_EQ(launches(), 3u);
    acceptConnect(device("ttyACM0"));
    EXPECT_EQ(model().connectionState(), "Connected");
}

TEST_F(CorvaneModelTest, FailedAttemptsRetryEveryFiveSecondsAndShowTheirTextOnlyForWindows) {
    addDevice("ttyACM0");
    failLaunches("exec failed");
    start();
    EXPECT_EQ(shown(), Shown("USB connection failed", std::nullopt));  // start-up shows no failure text
    for (std::size_t attempt = 2; attempt <= 4; ++attempt) {
        loop_.advance(5s - 1ms);
        EXPECT_EQ(launches(), attempt - 1);
        loop_.advance(1ms);
        EXPECT_EQ(launches(), attempt);
        EXPECT_EQ(shown(), Shown("USB connection failed", std::nullopt));
    }

    loop_.advance(1s);
    model().connect(std::nullopt, true);
    loop_.runPending();
    EXPECT_EQ(model().errorMessage(), kLaunchFailureText);
    EXPECT_EQ(launches(), 5u);
    // The pending retry (due in 4 s) was replaced by one 5 s after this attempt.
    loop_.advance(4s);
    EXPECT_EQ(launches(), 5u);
    EXPECT_EQ(model().errorMessage(), kLaunchFailureText);
    loop_.advance(1s);
    EXPECT_EQ(launches(), 6u);
    EXPECT_FALSE(model().errorMessage());

    // Disconnect cancels the pending retry.
    loop_.advance(3s);
    model().disconnect();
    loop_.advance(60s);
    EXPECT_EQ(launches(), 6u);
    EXPECT_EQ(model().connectionState(), "Disconnected");
}

// A radio plugged in while the model waits for one (none listed, or a retry
// pending) is used at once; a user's own disconnect is never undone.
TEST_F(CorvaneModelTest, ARadioPluggedInWhileWaitingConnectsAtOnce) {
    start();
    EXPECT_EQ(model().connectionState(), "USB radio not connected");
    EXPECT_EQ(deviceWatcher_.watched, deviceFolder());
    addDevice("ttyS0");  // not a radio
    deviceWatcher_.change();
    EXPECT_EQ(launches(), 0u);
    addDevice("ttyACM0");
    deviceWatcher_.change();
    loop_.runPending();
    EXPECT_EQ(launches(), 1u);
    EXPECT_FALSE(deviceWatcher_.watched) << "not while connecting";
    acceptConnect(device("ttyACM0"));
    EXPECT_FALSE(deviceWatcher_.watched) << "not while connected";

    bridge().exit();
    loop_.runPending();
    EXPECT_EQ(deviceWatcher_.watched, deviceFolder()) << "while a retry is pending";
    deviceWatcher_.change();  // nothing new
    EXPECT_EQ(launches(), 1u);
    loop_.advance(1s);
    addDevice("ttyUSB0");
    deviceWatcher_.change();
    loop_.runPending();
    EXPECT_EQ(launches(), 2u);
    EXPECT_EQ(bridge().request().port, device("ttyACM0")) << "the saved port still comes first";

    model().disconnect();
    loop_.runPending();
    EXPECT_FALSE(deviceWatcher_.watched);
    addDevice("ttyACM1");
    deviceWatcher_.change();
    loop_.advance(10s);
    EXPECT_EQ(launches(), 2u);
    EXPECT_EQ(model().connectionState(), "Disconnected");
}

// A window's connect while connected replaces the running bridge; that bridge
// ending on the way is part of the new attempt, not a failure of it. Only an
// exit nobody asked for is a failure, and only that reconnects.
TEST_F(CorvaneModelTest, BridgeExitsAreFailuresOnlyWhenUnasked) {
    startConnected();
    emitLocalNode(42);
    emitNode(makeNode(5, "Relay"));
    bridge().exit();
    loop_.runPending();
    EXPECT_EQ(shown(), Shown("USB connection failed", "Halvo Meshtastic Bridge stopped unexpectedly."));
    EXPECT_FALSE(model().connectedPort());
    // What the radio told us survives the failure: a reconnect is no news.
    EXPECT_EQ(std::pair(model().localNodeID(), model().nodes().size()), std::pair(std::optional(42u), std::size_t{1}));
    loop_.advance(5s);
    ASSERT_EQ(launches(), 2u);
    EXPECT_EQ(shown(), Shown("Connecting…", std::nullopt));
    acceptConnect(device("ttyACM0"));
    EXPECT_EQ(model().connectionState(), "Connected");

    model().connect(std::nullopt, true);
    EXPECT_EQ(bridge().request().command, MeshtasticBridgeCommand::disconnect);
    bridge().exit();
    loop_.runPending();
    ASSERT_EQ(launches(), 3u);
    acceptConnect(device("ttyACM0"));
    loop_.advance(60s);
    EXPECT_EQ(launches(), 3u);
    EXPECT_EQ(shown(), Shown("Connected", std::nullopt));

    model().disconnect();
    EXPECT_EQ(bridge().request().command, MeshtasticBridgeCommand::disconnect);
    bridge().exit();
    loop_.advance(60s);
    EXPECT_EQ(shown(), Shown("Disconnected", std::nullopt));
    EXPECT_EQ(launches(), 3u);
}

}  // namespace
}  // namespace corvane
