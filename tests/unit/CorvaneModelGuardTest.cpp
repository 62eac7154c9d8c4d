// The guarded device, messaging and radio settings of CorvaneModel.
#include <gtest/gtest.h>

#include "core/MessageStore.h"
#include "core/PrivateFile.h"
#include "unit/CorvaneModelFixture.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;

constexpr std::string_view kNoPositionYet = "The guarded device does not have a position yet.";

// 2026-03-01T09:30:00Z, 1772357400 seconds after 1970.
const Timestamp kAlertTime = std::chrono::sys_days(std::chrono::year(2026) / 3 / 1) + 9h + 30min;

class CorvaneModelGuardTest : public CorvaneModelFixture {
protected:
    static constexpr std::uint32_t kGuarded = 7;

    // Connected, node 7 guarded and heard at the park point, its position marked.
    void startArmed() {
        startConnected();
        emitNode(makeNode(kGuarded, "Bike", parked_));
        model().setGuarded(makeNode(kGuarded, "Bike"));
        model().markGuardedPosition();
        ASSERT_EQ(model().parkingStatus(), "Armed · waiting for movement");
    }
    void moveGuarded(double metresNorth, int secondsLater) {
        emitNode(makeNode(kGuarded, "Bike", positionAt(kGuarded, metresNorth, secondsLater)));
    }
    std::optional<MeshPosition> storedMark() const {
        const auto data = defaults_.data("parkedPosition");
        if (!data) return std::nullopt;
        return decodeMeshPositionWithReferenceDate(std::string(data->begin(), data->end()));
    }

    const MeshPosition parked_ = positionAt(kGuarded, 0, 0);
};

TEST_F(CorvaneModelGuardTest, MarkingStoresTheSettingsFormAndAsksForPermission) {
    startArmed();
    EXPECT_EQ(model().parkedPosition(), parked_);
    EXPECT_EQ(storedMark(), parked_);
    const auto data = defaults_.data("parkedPosition");
    const std::string text(data->begin(), data->end());
    // Seconds since 2001 as a number, not ISO text.
    EXPECT_NE(text.find("\"timestamp\":794048400"), std::string::npos) << text;
    EXPECT_EQ(notifications_.authorizationRequests, 1);
    EXPECT_TRUE(notifications_.posted.empty());

    model().clearParking();
    EXPECT_FALSE(model().parkedPosition());
    EXPECT_FALSE(defaults_.contains("parkedPosition"));
    EXPECT_EQ(model().parkingStatus(), "No position marked");
    moveGuarded(500, 60);
    moveGuarded(600, 120);
    EXPECT_EQ(model().parkingStatus(), "No position marked");
    EXPECT_TRUE(notifications_.posted.empty());
}

TEST_F(CorvaneModelGuardTest, MovementIsConfirmedThenAlertedOncePerArming) {
    startArmed();
    loop_.setWallClock(kAlertTime);
    moveGuarded(80.4, 60);
    EXPECT_EQ(model().parkingStatus(), "Confirming movement · 1 of 2 readings · 80 m");
    EXPECT_TRUE(notifications_.posted.empty());

    moveGuarded(90.4, 120);
    EXPECT_EQ(model().parkingStatus(), "Movement detected · 90 m from parked position");
    ASSERT_EQ(notifications_.posted.size(), 1u);
    EXPECT_EQ(notifications_.posted[0],
              (LocalNotification{
                  .identifier = "guarded-device-moved-1772357400.0",
                  .title = "Guarded device moved",
                  .body = "Two positions place the device outside the marked area. Latest distance: about 90 m.",
                  .sound = LocalNotification::Sound::critical}));

    // Neither a profile change nor further movement re-arms.
    model().setGuardProfile(GuardProfile::bicycle);
    moveGuarded(120.4, 180);
    EXPECT_EQ(model().parkingStatus(), "Movement detected · 120 m from parked position");
    emitNode(makeNode(8, "Other", positionAt(8, 5000, 200)));
    EXPECT_EQ(model().parkingStatus(), "Movement detected · 120 m from parked position");
    EXPECT_EQ(notifications_.posted.size(), 1u);

    // Marking again (at the 120 m fix) allows one new alert.
    model().markGuardedPosition();
    EXPECT_EQ(model().parkingStatus(), "Armed · waiting for movement");
    loop_.setWallClock(kAlertTime + 500ms);
    moveGuarded(120.4 + 80.9, 240);
    EXPECT_EQ(model().parkingStatus(), "Confirming movement · 1 of 2 readings · 80 m");
    moveGuarded(120.4 + 99.9, 300);
    ASSERT_EQ(notifications_.posted.size(), 2u);
    EXPECT_EQ(notifications_.posted[1].title, "Bicycle moved");
    EXPECT_EQ(notifications_.posted[1].identifier, "guarded-device-moved-1772357400.5");
    EXPECT_EQ(notifications_.posted[1].body,
              "Two positions place the device outside the marked area. Latest distance: about 99 m.");
}

TEST_F(CorvaneModelGuardTest, InsideAndIgnoredFixes) {
    startArmed();
    moveGuarded(10.4, 60);
    EXPECT_EQ(model().parkingStatus(), "Armed · 10 m from parked position");
    moveGuarded(80.4, 120);
    moveGuarded(500, 0);  // no later than the mark: ignored
    EXPECT_EQ(model().parkingStatus(), "Confirming movement · 1 of 2 readings · 80 m");
    moveGuarded(30.4, 180);  // back inside breaks the run
    moveGuarded(80.4, 240);
    EXPECT_EQ(model().parkingStatus(), "Confirming movement · 1 of 2 readings · 80 m");
    EXPECT_TRUE(notifications_.posted.empty());
}

TEST_F(CorvaneModelGuardTest, AnotherGuardedNodeIsComparedWithTheExistingMark) {
    startArmed();
    emitNode(makeNode(8, "Tracker"));
    model().setGuarded(makeNode(8, "Tracker"));
    EXPECT_EQ(model().selectedNodeID(), 8u);
    EXPECT_EQ(model().parkingStatus(), "Armed · waiting for movement");
    moveGuarded(500, 60);  // node 7 is no longer guarded
    EXPECT_EQ(model().parkingStatus(), "Armed · waiting for movement");
    emitNode(makeNode(8, "Tracker", positionAt(8, 80.4, 120)));
    EXPECT_EQ(model().parkingStatus(), "Confirming movement · 1 of 2 readings · 80 m");
}

TEST_F(CorvaneModelGuardTest, MarkingWithoutAPositionLeavesTheExistingMark) {
    startConnected();
    model().markGuardedPosition();  // nothing guarded
    EXPECT_EQ(model().errorMessage(), kNoPositionYet);

    model().setErrorMessage(std::nullopt);
    model().setGuarded(makeNode(kGuarded, "Bike"));
    model().markGuardedPosition();  // guarded but never heard
    EXPECT_EQ(model().errorMessage(), kNoPositionYet);

    emitNode(makeNode(kGuarded, "Bike", positionAt(kGuarded, 0, 0)));
    model().markGuardedPosition();
    const auto mark = model().parkedPosition();
    ASSERT_TRUE(mark);
    moveGuarded(80.4, 60);

    model().setErrorMessage(std::nullopt);
    emitNode(makeNode(kGuarded, "Bike"));  // heard again without a position
    model().markGuardedPosition();
    EXPECT_EQ(model().errorMessage(), kNoPositionYet);
    EXPECT_EQ(model().parkedPosition(), mark);
    EXPECT_EQ(storedMark(), mark);
    EXPECT_EQ(model().parkingStatus(), "Confirming movement · 1 of 2 readings · 80 m");
    EXPECT_EQ(notifications_.authorizationRequests, 1);
}

TEST_F(CorvaneModelGuardTest, ClearingTheGuardedDeviceForgetsTheMarkToo) {
    startArmed();
    model().clearGuardedDevice();
    EXPECT_FALSE(defaults_.contains("guardedNode"));
    EXPECT_FALSE(defaults_.contains("parkedPosition"));
    EXPECT_FALSE(model().parkedPosition());
    EXPECT_EQ(model().parkingStatus(), "No position marked");
}

TEST_F(CorvaneModelGuardTest, RestartWithAStoredMarkWatchesAgain) {
    defaults_.setNumber("guardedNode", kGuarded);
    defaults_.setData("parkedPosition", [this] {
        const auto text = encodeWithReferenceDate(parked_);
        return DefaultsStore::Data(text->begin(), text->end());
    }());
    startConnected();
    moveGuarded(80.4, 60);
    moveGuarded(90.4, 120);
    EXPECT_EQ(model().parkingStatus(), "Movement detected · 90 m from parked position");
    EXPECT_EQ(notifications_.posted.size(), 1u);
}

// MARK: Messaging

using CorvaneModelMessagingTest = CorvaneModelGuardTest;

TEST_F(CorvaneModelMessagingTest, BlankTextSendsNothing) {
    startConnected();
    const auto written = bridge().written.size();
    model().sendMessage("   \n");
    model().sendMessage("\u3000\u00a0\t");
    loop_.runPending();
    EXPECT_EQ(bridge().written.size(), written);
    EXPECT_FALSE(model().errorMessage());
}

TEST_F(CorvaneModelMessagingTest, SentTextIsTrimmedRecordedAndStored) {
    startConnected();
    loop_.advance(90s);
    model().sendMessage("  hello \n");
    const auto request = bridge().request();
    EXPECT_EQ(request.command, MeshtasticBridgeCommand::sendText);
    EXPECT_EQ(request.text, "hello");
    EXPECT_EQ(request.recipient, std::nullopt);
    EXPECT_EQ(request.channel, 0u);

    auto sent = event(MeshtasticBridgeEvent::sent);
    sent.packetID = 1234;
    reply(sent);
    ASSERT_EQ(model().messages().size(), 1u);
    const MeshMessage& record = model().messages()[0];
    EXPECT_EQ(record.packetID, 1234u);
    EXPECT_EQ(record.sender, 0u);  // the radio has not named itself yet
    EXPECT_EQ(record.recipient, CorvaneModel::kBroadcastNode);
    EXPECT_EQ(record.channel, 0u);
    EXPECT_EQ(record.text, "hello");
    EXPECT_EQ(record.timestamp, loop_.now());
    EXPECT_TRUE(record.isOutgoing);
    EXPECT_TRUE(notifications_.posted.empty());

    const auto file = PrivateFile::read(dataFile("messages.json"));
    ASSERT_TRUE(file);
    EXPECT_EQ(decodeMessagesFile(*file), model().messages());
}

TEST_F(CorvaneModelMessagingTest, DirectMessageOnAChannelAndItsEcho) {
    startConnected();
    emitLocalNode(42);
    model().setMessageRecipient(0x1234);
    model().setMessageChannel(2);
    model().sendMessage("ping");
    EXPECT_EQ(bridge().request().recipient, 4660u);
    EXPECT_EQ(bridge().request().channel, 2u);
    auto sent = event(MeshtasticBridgeEvent::sent);
    sent.packetID = 55;
    reply(sent);
    ASSERT_EQ(model().messages().size(), 1u);
    EXPECT_EQ(model().messages()[0].sender, 42u);
    EXPECT_EQ(model().messages()[0].recipient, 4660u);
    EXPECT_EQ(model().messages()[0].channel, 2u);

    MeshMessage echo = makeMessage(55, 42, "ping");
    echo.isOutgoing = true;
    emitMessage(echo);
    EXPECT_EQ(model().messages().size(), 1u);
}

TEST_F(CorvaneModelMessagingTest, FailedSendsShowTheLinkErrorAndRecordNothing) {
    startConnected();
    model().sendMessage("one");
    auto refused = event(MeshtasticBridgeEvent::error);
    refused.error = "Radio queue full";
    reply(refused);
    EXPECT_EQ(model().errorMessage(), "Radio queue full");

    model().sendMessage("two");
    reply(event(MeshtasticBridgeEvent::sent));  // no packet number
    EXPECT_EQ(model().errorMessage(), "Halvo Meshtastic Bridge returned an unreadable response.");

    model().sendMessage("three");
    loop_.advance(5s);
    EXPECT_EQ(model().errorMessage(), "Halvo Meshtastic Bridge did not answer in time.");

    model().disconnect();
    loop_.advance(2s);
    model().sendMessage("four");
    loop_.runPending();
    EXPECT_EQ(model().errorMessage(), "Halvo Meshtastic Bridge stopped unexpectedly.");
    EXPECT_TRUE(model().messages().empty());
    EXPECT_FALSE(PrivateFile::identity(dataFile("messages.json")));
}

// MARK: Radio settings

using CorvaneModelRadioSettingsTest = CorvaneModelGuardTest;

MeshtasticRadioSettings applied() {
    auto settings = MeshtasticRadioSettings::recommended();
    settings.hopLimit = 5;
    return settings;
}

TEST_F(CorvaneModelRadioSettingsTest, ReadNeedsBothAPortAndTheLocalNode) {
    startConnected();
    const auto written = bridge().written.size();
    model().requestRadioSettings();
    EXPECT_EQ(model().radioSettingsState(), "Connect the USB radio first.");
    model().applyRadioSettings(applied());
    EXPECT_EQ(model().errorMessage(), "Connect the USB radio before applying settings.");
    EXPECT_EQ(model().radioSettingsState(), "Connect the USB radio first.");
    EXPECT_EQ(bridge().written.size(), written);

    emitLocalNode(42);
    model().requestRadioSettings();
    EXPECT_EQ(model().radioSettingsState(), "Reading from radio…");
    EXPECT_EQ(bridge().request().command, MeshtasticBridgeCommand::readRadioSettings);
    auto answer = event(MeshtasticBridgeEvent::radioSettings);
    answer.settings = applied();
    reply(answer);
    EXPECT_EQ(model().radioSettingsState(), "Loaded from radio");
    EXPECT_EQ(model().loraConfig(), applied());

    model().requestRadioSettings();
    loop_.advance(5s);
    EXPECT_EQ(model().radioSettingsState(), "Could not read settings");
    EXPECT_EQ(model().errorMessage(), "Halvo Meshtastic Bridge did not answer in time.");
}

TEST_F(CorvaneModelRadioSettingsTest, ApplyShowsTheValuesAtOnceAndReadsBackThreeSecondsLater) {
    startConnected();
    emitLocalNode(42);
    model().applyRadioSettings(applied());
    EXPECT_EQ(model().radioSettingsState(), "Applying to radio…");
    EXPECT_EQ(bridge().request().command, MeshtasticBridgeCommand::applyRadioSettings);
    EXPECT_EQ(bridge().request().settings, applied());
    reply(event(MeshtasticBridgeEvent::ready));
    EXPECT_EQ(model().loraConfig(), applied());
    EXPECT_EQ(model().radioSettingsState(), "Applied · verifying after restart…");

    const auto written = bridge().written.size();
    loop_.advance(3s - 1ms);
    EXPECT_EQ(bridge().written.size(), written);
    loop_.advance(1ms);
    EXPECT_EQ(model().radioSettingsState(), "Reading from radio…");
    EXPECT_EQ(bridge().request().command, MeshtasticBridgeCommand::readRadioSettings);
}

TEST_F(CorvaneModelRadioSettingsTest, ConnectionLostBeforeTheReadBack) {
    startConnected();
    emitLocalNode(42);
    model().applyRadioSettings(applied());
    reply(event(MeshtasticBridgeEvent::ready));
    loop_.advance(1s);
    bridge().exit();
    loop_.advance(2s);
    EXPECT_EQ(model().radioSettingsState(), "Connect the USB radio first.");
    EXPECT_EQ(model().loraConfig(), applied());
}

TEST_F(CorvaneModelRadioSettingsTest, FailedApplyKeepsTheSettingsAndDoesNotReadBack) {
    startConnected();
    emitLocalNode(42);
    auto loaded = event(MeshtasticBridgeEvent::radioSettings);
    loaded.settings = MeshtasticRadioSettings::recommended();
    emit(loaded);

    model().applyRadioSettings(applied());
    auto refused = event(MeshtasticBridgeEvent::error);
    refused.error = "Region not allowed";
    reply(refused);
    EXPECT_EQ(model().radioSettingsState(), "Could not apply settings");
    EXPECT_EQ(model().errorMessage(), "Region not allowed");
    EXPECT_EQ(model().loraConfig(), MeshtasticRadioSettings::recommended());
    const auto written = bridge().written.size();
    loop_.advance(10s);
    EXPECT_EQ(bridge().written.size(), written);
}

}  // namespace
}  // namespace corvane
