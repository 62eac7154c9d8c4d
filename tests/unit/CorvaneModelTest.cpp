// Construction, the port list and the connection lifecycle of CorvaneModel.
#include <gtest/gtest.h>

#include "core/PositionStore.h"
#include "unit/CorvaneModelFixture.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;

constexpr std::string_view kLaunchFailureText = "Halvo Meshtastic Bridge could not be started: exec failed";

DefaultsStore::Data bytes(std::string_view text) { return DefaultsStore::Data(text.begin(), text.end()); }

using CorvaneModelTest = CorvaneModelFixture;

TEST_F(CorvaneModelTest, StoredRadiusZeroOrMissingMeansSeventyFiveAndIsWrittenBack) {
    defaults_.setNumber("parkingRadius", 0);
    EXPECT_EQ(start().parkingRadius(), 75.0);
    EXPECT_EQ(defaults_.number("parkingRadius"), 75.0);
}

TEST_F(CorvaneModelTest, StoredRadiusIsKeptAndTextInItsPlaceIsIgnored) {
    defaults_.setNumber("parkingRadius", 120);
    EXPECT_EQ(start().parkingRadius(), 120.0);

    FakeDefaultsStore wrongType;
    wrongType.setString("parkingRadius", "120");
    defaults_ = wrongType;
    EXPECT_EQ(start().parkingRadius(), 75.0);
    EXPECT_EQ(defaults_.number("parkingRadius"), 75.0);
}

TEST_F(CorvaneModelTest, InitialFieldsBeforeStartUpRuns) {
    CorvaneModel model({.loop = loop_,
                        .defaults = defaults_,
                        .notifications = notifications_,
                        .makeProcess = bridges_.factory(),
                        .dataFolder = dataFile("")});
    EXPECT_EQ(model.connectionState(), "Connecting…");
    EXPECT_EQ(model.parkingStatus(), "No position marked");
    EXPECT_EQ(model.radioSettingsState(), "Waiting for radio…");
    EXPECT_EQ(model.channels(), (std::map<std::uint32_t, std::string>{{0, "Primary"}}));
    EXPECT_EQ(model.guardProfile(), GuardProfile::general);
    EXPECT_EQ(model.messageChannel(), 0u);
    EXPECT_FALSE(model.messageRecipient() || model.localNodeID() || model.selectedNodeID() || model.loraConfig());
    EXPECT_TRUE(bridges_.children.empty());
}

TEST_F(CorvaneModelTest, GuardProfileComesFromDefaultsAndUnknownTextIsIgnored) {
    defaults_.setString("guardProfile", "bicycle");
    EXPECT_EQ(start().guardProfile(), GuardProfile::bicycle);

    defaults_.setString("guardProfile", "skateboard");
    EXPECT_EQ(start().guardProfile(), GuardProfile::general);
    // Ignored, not overwritten.
    EXPECT_EQ(defaults_.string("guardProfile"), "skateboard");

    model().setGuardProfile(GuardProfile::bicycle);
    EXPECT_EQ(defaults_.string("guardProfile"), "bicycle");
}

TEST_F(CorvaneModelTest, OlderBikeNodeKeyIsMigratedOnlyWhenNoGuardedNodeIsStored) {
    defaults_.setNumber("bikeNode", 1234);
    start();
    EXPECT_EQ(defaults_.number("guardedNode"), 1234.0);
    EXPECT_EQ(model().guardedNodeID(), 1234u);
    EXPECT_EQ(model().guardProfile(), GuardProfile::bicycle);
    EXPECT_EQ(defaults_.string("guardProfile"), "bicycle");
    EXPECT_TRUE(defaults_.contains("bikeNode"));

    FakeDefaultsStore both;
    both.setNumber("bikeNode", 1234);
    both.setNumber("guardedNode", 5);
    defaults_ = both;
    start();
    EXPECT_EQ(model().guardedNodeID(), 5u);
    EXPECT_EQ(model().guardProfile(), GuardProfile::general);
}

TEST_F(CorvaneModelTest, StoredParkedPositionArmsTheGuardAndUndecodableDataDoesNot) {
    const MeshPosition parked = positionAt(7, 0, -60);
    const auto encoded = encodeWithReferenceDate(parked);
    ASSERT_TRUE(encoded);
    defaults_.setData("parkedPosition", bytes(*encoded));
    start();
    EXPECT_EQ(model().parkedPosition(), parked);
    EXPECT_EQ(model().parkingStatus(), "Armed · waiting for movement");

    for (const std::string_view stored : {std::string_view("not json"), std::string_view("{}")}) {
        FakeDefaultsStore damaged;
        damaged.setData("parkedPosition", bytes(stored));
        defaults_ = damaged;
        start();
        EXPECT_FALSE(model().parkedPosition()) << stored;
        EXPECT_EQ(model().parkingStatus(), "No position marked");
    }

    // The same position with an ISO date, as the positions file writes it,
    // is not the settings form.
    std::string iso = *encoded;
    const auto at = iso.find("\"timestamp\":");
    ASSERT_NE(at, std::string::npos);
    const auto end = iso.find_first_of(",}", at);
    iso.replace(at, end - at, "\"timestamp\":\"2026-03-01T08:59:00Z\"");
    FakeDefaultsStore isoDate;
    isoDate.setData("parkedPosition", bytes(iso));
    defaults_ = isoDate;
    start();
    EXPECT_FALSE(model().parkedPosition());
}

TEST_F(CorvaneModelTest, StartUpLoadsHistoryFromFileAndConnectsToTheOnlyDevice) {
    PositionStore earlier(dataFile("positions.json"));
    const MeshPosition stored = positionAt(3, 10, -3600);
    ASSERT_TRUE(earlier.append(stored, PositionStore::kMaximumCount));
    addDevice("ttyACM0");
    addDevice("null");  // not a serial device name

    start();
    EXPECT_EQ(model().history(), std::vector<MeshPosition>{stored});
    EXPECT_EQ(model().availablePorts(), std::vector<std::string>{device("ttyACM0")});
    EXPECT_EQ(model().selectedPort(), device("ttyACM0"));
    ASSERT_EQ(launches(), 1u);
    EXPECT_EQ(bridge().arguments, (std::vector<std::string>{"serve", "--jsonl"}));
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
    model().setSelectedPort(device("ttyACM0"));
    model().refreshPorts();
    EXPECT_EQ(model().selectedPort(), device("ttyACM0"));

    model().setSelectedPort(device("ttyACM9"));
    model().refreshPorts();
    EXPECT_EQ(model().selectedPort(), "");

    std::filesystem::remove(device("ttyUSB1"));
    model().refreshPorts();
    EXPECT_EQ(model().selectedPort(), device("ttyACM0"));
}

TEST_F(CorvaneModelTest, NoDeviceOrSeveralUnchosenDevicesStartNothing) {
    start();
    EXPECT_EQ(model().connectionState(), "USB radio not connected");
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
}

TEST_F(CorvaneModelTest, ResultOfAnAbandonedAttemptChangesNothing) {
    addDevice("ttyACM0");
    start();
    model().disconnect();
    acceptConnect(device("ttyACM0"), 0);
    EXPECT_EQ(model().connectionState(), "Disconnected");
    EXPECT_FALSE(model().connectedPort());
    EXPECT_EQ(defaults_.string("serialPort"), std::nullopt);
}

TEST_F(CorvaneModelTest, SecondConnectMakesTheFirstAttemptsFailureANoOp) {
    addDevice("ttyACM0");
    start();
    model().connect(std::nullopt, true);
    // The first child is asked to disconnect before the second starts.
    EXPECT_EQ(bridge().request().command, MeshtasticBridgeCommand::disconnect);
    auto failure = event(MeshtasticBridgeEvent::connected);  // no port: unreadable reply
    reply(failure, 0);
    EXPECT_EQ(model().connectionState(), "Connecting…");
    EXPECT_FALSE(model().errorMessage());

    reply(event(MeshtasticBridgeEvent::ready));  // answers the disconnect
    ASSERT_EQ(launches(), 2u);
    reply(failure);
    EXPECT_EQ(model().connectionState(), "USB connection failed");
    EXPECT_EQ(model().errorMessage(), "Halvo Meshtastic Bridge returned an unreadable response.");
    loop_.advance(5s);
    loop_.advance(2s);  // the second child's disconnect time-out
    EXPECT_EQ(launches(), 3u);
}

TEST_F(CorvaneModelTest, SecondConnectMakesTheFirstAttemptsSuccessANoOp) {
    addDevice("ttyACM0");
    start();
    model().connect(std::nullopt, true);
    acceptConnect(device("ttyACM0"), 0);
    EXPECT_EQ(model().connectionState(), "Connecting…");
    EXPECT_FALSE(model().connectedPort());

    reply(event(MeshtasticBridgeEvent::ready));
    acceptConnect(device("ttyACM0"));
    EXPECT_EQ(model().connectionState(), "Connected");
    EXPECT_EQ(launches(), 2u);
}

TEST_F(CorvaneModelTest, FailedAttemptsRetryEveryFiveSecondsWithoutBackOff) {
    addDevice("ttyACM0");
    failLaunches("exec failed");
    start();
    EXPECT_EQ(model().connectionState(), "USB connection failed");
    EXPECT_FALSE(model().errorMessage());  // start-up shows no failure text
    for (std::size_t attempt = 2; attempt <= 5; ++attempt) {
        loop_.advance(5s - 1ms);
        EXPECT_EQ(launches(), attempt - 1);
        loop_.advance(1ms);
        EXPECT_EQ(launches(), attempt);
        EXPECT_EQ(model().connectionState(), "USB connection failed");
        EXPECT_FALSE(model().errorMessage());
    }
}

TEST_F(CorvaneModelTest, FailureTextShowsOnlyForWindowsAndClearsWhenTheRetryStarts) {
    addDevice("ttyACM0");
    failLaunches("exec failed");
    start();
    loop_.advance(1s);
    model().connect(std::nullopt, true);
    loop_.runPending();
    EXPECT_EQ(model().errorMessage(), kLaunchFailureText);
    EXPECT_EQ(launches(), 2u);

    // The start-up retry (due at 5 s) was replaced by one 5 s after this attempt.
    loop_.advance(4s);
    EXPECT_EQ(launches(), 2u);
    EXPECT_EQ(model().errorMessage(), kLaunchFailureText);
    loop_.advance(1s);
    EXPECT_EQ(launches(), 3u);
    EXPECT_FALSE(model().errorMessage());
}

TEST_F(CorvaneModelTest, DisconnectCancelsThePendingRetry) {
    addDevice("ttyACM0");
    failLaunches("exec failed");
    start();
    loop_.advance(3s);
    model().disconnect();
    loop_.advance(60s);
    EXPECT_EQ(launches(), 1u);
    EXPECT_EQ(model().connectionState(), "Disconnected");
}

TEST_F(CorvaneModelTest, NoRadioMeansBaseNotConnectedAndNoRetry) {
    start();
    model().setErrorMessage("earlier");
    model().connect("/dev/does-not-exist", true);
    loop_.runPending();
    EXPECT_EQ(model().connectionState(), "USB base not connected");
    EXPECT_FALSE(model().errorMessage());
    EXPECT_FALSE(model().connectedPort());
    loop_.advance(60s);
    EXPECT_EQ(model().connectionState(), "USB base not connected");
    EXPECT_EQ(launches(), 0u);
}

TEST_F(CorvaneModelTest, ConnectTimeOutIsAFailureWithRetry) {
    addDevice("ttyACM0");
    start();
    model().connect(std::nullopt, true);
    reply(event(MeshtasticBridgeEvent::ready));
    loop_.advance(8s);
    EXPECT_EQ(model().connectionState(), "USB connection failed");
    EXPECT_EQ(model().errorMessage(), "Halvo Meshtastic Bridge did not answer in time.");
}

TEST_F(CorvaneModelTest, BridgeExitAfterConnectingIsAFailureAndReconnects) {
    startConnected();
    bridge().exit();
    loop_.runPending();
    EXPECT_EQ(model().connectionState(), "USB connection failed");
    EXPECT_FALSE(model().connectedPort());
    EXPECT_EQ(model().errorMessage(), "Halvo Meshtastic Bridge stopped unexpectedly.");

    loop_.advance(5s);
    ASSERT_EQ(launches(), 2u);
    EXPECT_EQ(model().connectionState(), "Connecting…");
    EXPECT_FALSE(model().errorMessage());
    acceptConnect(device("ttyACM0"));
    EXPECT_EQ(model().connectionState(), "Connected");
}

TEST_F(CorvaneModelTest, UserDisconnectIsNotAFailureEvenWhenTheBridgeThenExits) {
    startConnected();
    model().disconnect();
    EXPECT_EQ(bridge().request().command, MeshtasticBridgeCommand::disconnect);
    bridge().exit();
    loop_.advance(60s);
    EXPECT_EQ(model().connectionState(), "Disconnected");
    EXPECT_FALSE(model().errorMessage());
    EXPECT_EQ(launches(), 1u);
}

// A window's connect while connected replaces the running bridge; that
// bridge ending on the way is part of the new attempt, not a failure of it.
TEST_F(CorvaneModelTest, OldBridgeExitingDuringAReconnectDoesNotSpoilTheNewAttempt) {
    startConnected();
    model().connect(std::nullopt, true);
    EXPECT_EQ(bridge().request().command, MeshtasticBridgeCommand::disconnect);
    bridge().exit();
    loop_.runPending();
    ASSERT_EQ(launches(), 2u);
    acceptConnect(device("ttyACM0"));
    EXPECT_EQ(model().connectionState(), "Connected");
    EXPECT_FALSE(model().errorMessage());
    loop_.advance(60s);
    EXPECT_EQ(launches(), 2u);
    EXPECT_EQ(model().connectionState(), "Connected");
}

}  // namespace
}  // namespace corvane
