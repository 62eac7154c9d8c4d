// SPDX-License-Identifier: GPL-3.0-or-later
// The guarded device, messaging and radio settings of CorvaneModel.
#include <gtest/gtest.h>

#include "core/MessageStore.h"
#include "core/PositionStore.h"
#include "core/PrivateFile.h"
#include "unit/CorvaneModelFixture.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;

constexpr std::string_view kNoPositionYet = "The guarded device does not have a position yet.";
constexpr std::string_view kArmed = "Armed · waiting for movement";
constexpr std::string_view kConfirming80 = "Confirming movement · 1 of 2 readings · 80 m";

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
        ASSERT_EQ(model().parkingStatus(), kArmed);
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

TEST_F(CorvaneModelGuardTest, MarkingStoresTheSettingsFormAndClearingForgetsIt) {
    startArmed();
    EXPECT_EQ(model().parkedPosition(), parked_);
    EXPECT_EQ(storedMark(), parked_);
    const auto data = defaults_.data("parkedPosition").value();
    // Seconds since 2001 as a number, not ISO text.
    EXPECT_NE(std::string(data.begin(), data.end()).find("\"timestamp\":794048400"), std::string::npos);
    EXPECT_EQ(notifications_.authorizationRequests, 1);

    model().clearParking();
    EXPECT_FALSE(model().parkedPosition() || defaults_.contains("parkedPosition"));
    moveGuarded(500, 60);
    moveGuarded(600, 120);
    EXPECT_EQ(model().parkingStatus(), "No position marked");
    EXPECT_TRUE(notifications_.posted.empty());

    // Clearing the guarded device forgets the mark too.
    model().markGuardedPosition();
    ASSERT_EQ(model().parkingStatus(), kArmed);
    model().clearGuardedDevice();
    EXPECT_FALSE(defaults_.contains("guardedNode") || defaults_.contains("parkedPosition") || model().parkedPosition());
    EXPECT_EQ(model().parkingStatus(), "No position marked");
}

TEST_F(CorvaneModelGuardTest, ReducedPrecisionOfTheLatestOrMarkedFixIsTold) {
    startArmed();
    EXPECT_FALSE(model().guardPrecision());
    MeshPosition boxed = positionAt(kGuarded, 0, 60);
    boxed.precisionBits = 16;
    emitNode(makeNode(kGuarded, "Bike", boxed));
    const std::string reduced = "Shares its position at reduced precision (about 729 m): movement inside that area cannot be detected";
    EXPECT_EQ(model().guardPrecision(), reduced + "; the alert radius is smaller than that area.");
    model().markGuardedPosition();
    moveGuarded(0, 120);  // the mark still holds the box
    model().setParkingRadius(750);
    EXPECT_EQ(model().guardPrecision(), reduced + ".");
    model().clearGuardedDevice();
    emitNode(makeNode(kGuarded, "Bike", boxed));
    EXPECT_FALSE(model().guardPrecision());
}

TEST_F(CorvaneModelGuardTest, MovementIsConfirmedThenAlertedOncePerArming) {
    startArmed();
    moveGuarded(10.4, 60);
    EXPECT_EQ(model().parkingStatus(), "Armed · 10 m from parked position");
    moveGuarded(80.4, 120);
    moveGuarded(500, 0);  // no later than the mark: ignored
    EXPECT_EQ(model().parkingStatus(), kConfirming80);
    moveGuarded(30.4, 180);  // back inside breaks the run
    loop_.setWallClock(kAlertTime);
    moveGuarded(80.4, 240);
    EXPECT_EQ(model().parkingStatus(), kConfirming80);
    EXPECT_TRUE(notifications_.posted.empty());
    moveGuarded(90.4, 300);
    EXPECT_EQ(model().parkingStatus(), "Movement detected · 90 m from parked position");
    ASSERT_EQ(notifications_.posted.size(), 1u);
    EXPECT_EQ(notifications_.posted[0],
              (LocalNotification{"guarded-device-moved-1772357400.0", "Guarded device moved",
                                 "Two positions place the device outside the marked area. Latest distance: about 90 m.",
                                 LocalNotification::Sound::critical}));

    // Neither a profile change nor further movement re-arms.
    model().setGuardProfile(GuardProfile::bicycle);
    moveGuarded(120.4, 360);
    emitNode(makeNode(8, "Other", positionAt(8, 5000, 380)));
    EXPECT_EQ(model().parkingStatus(), "Movement detected · 120 m from parked position");
    EXPECT_EQ(notifications_.posted.size(), 1u);

    // Marking again (at the 120 m fix) allows one new alert.
    model().markGuardedPosition();
    EXPECT_EQ(model().parkingStatus(), kArmed);
    loop_.setWallClock(kAlertTime + 500ms);
    moveGuarded(120.4 + 80.9, 420);
    EXPECT_EQ(model().parkingStatus(), kConfirming80);
    moveGuarded(120.4 + 99.9, 480);
    ASSERT_EQ(notifications_.posted.size(), 2u);
    EXPECT_EQ(std::tuple(notifications_.posted[1].title, notifications_.posted[1].identifier, notifications_.posted[1].body),
              std::tuple("Bicycle moved", "guarded-device-moved-1772357400.5",
                         "Two positions place the device outside the marked area. Latest distance: about 99 m."));
}

// The stores are read off the loop: what the radio says before the read is
// in waits, is checked against the stored history and is written after it.
TEST_F(CorvaneModelGuardTest, FixesAndMessagesBeforeTheStoresAreReadAreMergedAfterwards) {
    const auto mark = encodeWithReferenceDate(parked_).value();
    defaults_.setData("parkedPosition", DefaultsStore::Data(mark.begin(), mark.end()));
    defaults_.setNumber("guardedNode", kGuarded);
    // Two readings outside from the last run: replayed by the radio, they must not alert again.
    const std::vector<MeshPosition> stored{positionAt(kGuarded, 80.4, 60), positionAt(kGuarded, 90.4, 120)};
    const MeshMessage old = makeMessage(41, 8, "old");
    for (const auto& fix : stored) ASSERT_TRUE(PositionStore(dataFile("positions.json")).append(fix, 10));
    ASSERT_TRUE(MessageStore(dataFile("messages.json")).append(old, 10));
    const auto fileText = [this](const char* name) { return PrivateFile::read(dataFile(name)).value(); };
    const std::string positionsBefore = fileText("positions.json");
    const std::string messagesBefore = fileText("messages.json");

    loop_.holdBackgroundWork();
    startConnected();
    for (const auto& fix : stored) emitNode(makeNode(kGuarded, "Bike", fix));
    emitMessage(old);
    const MeshMessage fresh = makeMessage(42, 8, "new");
    emitMessage(fresh);
    const MeshPosition inside = positionAt(kGuarded, 10.4, 180);
    emitNode(makeNode(kGuarded, "Bike", inside));
    EXPECT_EQ(fileText("positions.json"), positionsBefore);
    EXPECT_EQ(fileText("messages.json"), messagesBefore);
    EXPECT_TRUE(notifications_.posted.empty());

    loop_.releaseBackgroundWork();
    loop_.runPending();
    EXPECT_EQ(model().history(), (std::vector<MeshPosition>{stored[0], stored[1], inside}));
    EXPECT_EQ(model().messages(), (std::vector<MeshMessage>{old, fresh}));
    EXPECT_EQ(model().parkingStatus(), "Armed · 10 m from parked position");
    EXPECT_EQ(PositionStore(dataFile("positions.json")).load(), model().history());
    EXPECT_EQ(MessageStore(dataFile("messages.json")).load(), model().messages());
    ASSERT_EQ(notifications_.posted.size(), 1u);
    EXPECT_EQ(notifications_.posted[0].body, "new");
}

TEST_F(CorvaneModelGuardTest, AnotherGuardedNodeIsComparedWithTheExistingMark) {
    startArmed();
    emitNode(makeNode(8, "Tracker"));
    model().setGuarded(makeNode(8, "Tracker"));
    EXPECT_EQ(model().selectedNodeID(), 8u);
    moveGuarded(500, 60);  // node 7 is no longer guarded
    EXPECT_EQ(model().parkingStatus(), kArmed);
    emitNode(makeNode(8, "Tracker", positionAt(8, 80.4, 120)));
    EXPECT_EQ(model().parkingStatus(), kConfirming80);
}

TEST_F(CorvaneModelGuardTest, MarkingWithoutAPositionLeavesTheExistingMark) {
    startConnected();
    model().setGuarded(makeNode(kGuarded, "Bike"));
    model().markGuardedPosition();  // guarded but never heard
    EXPECT_EQ(model().errorMessage(), kNoPositionYet);

    moveGuarded(0, 0);
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
    EXPECT_EQ(model().parkingStatus(), kConfirming80);
    EXPECT_EQ(notifications_.authorizationRequests, 1);
}

// MARK: Messaging

using CorvaneModelMessagingTest = CorvaneModelGuardTest;

TEST_F(CorvaneModelMessagingTest, SentTextIsTrimmedRecordedAndStoredBlankTextSendsNothingEchoesCountOnce) {
    startConnected();
    const auto written = bridge().written.size();
    model().sendMessage("   \n");
    model().sendMessage("\u3000\u00a0\t");
    loop_.runPending();
    EXPECT_EQ(bridge().written.size(), written);
    EXPECT_FALSE(model().errorMessage());

    loop_.advance(90s);
    model().sendMessage("  hello \n");
    const auto request = bridge().request();
    EXPECT_EQ(std::tuple(request.command, request.text, request.recipient, request.channel),
              std::tuple(MeshtasticBridgeCommand::sendText, "hello", std::nullopt, 0u));
    reply(news(Event::sent, [&](Response& r) { r.packetID = 1234; }));
    ASSERT_EQ(model().messages().size(), 1u);
    // The radio has not named itself yet: sender 0.
    EXPECT_EQ(model().messages()[0], (MeshMessage{.id = model().messages()[0].id, .packetID = 1234, .sender = 0,
                                                  .recipient = CorvaneModel::kBroadcastNode, .channel = 0, .text = "hello",
                                                  .timestamp = loop_.now(), .isOutgoing = true}));
    EXPECT_TRUE(notifications_.posted.empty());
    EXPECT_EQ(decodeMessagesFile(PrivateFile::read(dataFile("messages.json")).value()), model().messages());

    // A direct message on a channel, once the radio has named itself; the bridge's echo of it is no new message.
    emitLocalNode(42);
    model().setMessageRecipient(0x1234);
    model().setMessageChannel(2);
    model().sendMessage("ping");
    EXPECT_EQ(std::pair(bridge().request().recipient, bridge().request().channel), std::pair(std::optional(4660u), std::optional(2u)));
    reply(news(Event::sent, [&](Response& r) { r.packetID = 55; }));
    MeshMessage echo = makeMessage(55, 42, "ping");
    echo.isOutgoing = true;
    emitMessage(echo);
    ASSERT_EQ(model().messages().size(), 2u);
    const MeshMessage& direct = model().messages()[1];
    EXPECT_EQ(std::tuple(direct.sender, direct.recipient, direct.channel), std::tuple(42u, 4660u, 2u));
}

TEST_F(CorvaneModelMessagingTest, SentTextWhoseStoreWriteFailsIsKeptAndTheFileErrorShown) {
    const std::string folder = dataFile("");
    std::ofstream(folder.substr(0, folder.size() - 1)) << "a plain file where the folder belongs";
    startConnected();
    model().sendMessage("hello");
    reply(news(Event::sent, [&](Response& r) { r.packetID = 7; }));
    ASSERT_EQ(model().messages().size(), 1u);
    EXPECT_EQ(model().messages()[0].packetID, 7u);
    EXPECT_NE(model().errorMessage().value_or("").find("Not a directory"), std::string::npos);
}

// How a send fails (error, timeout, a stopped bridge) is the radio's; each shows alike.
TEST_F(CorvaneModelMessagingTest, FailedSendsShowTheLinkErrorAndRecordNothing) {
    startConnected();
    model().sendMessage("one");
    reply(news(Event::error, [&](Response& r) { r.error = "Radio queue full"; }));
    EXPECT_EQ(model().errorMessage(), "Radio queue full");
    EXPECT_TRUE(model().messages().empty());
    EXPECT_FALSE(PrivateFile::identity(dataFile("messages.json")));

    // Refused before sending: 232 bytes fit a channel message, 220 a direct one.
    const auto written = bridge().written.size();
    model().sendMessage(std::string(231, 'x') + "\u00e9");
    EXPECT_EQ(model().errorMessage(), "Too long to send: 233 bytes; a channel message holds at most 232.");
    model().setMessageRecipient(0x1234);
    model().sendMessage(std::string(221, 'x'));
    EXPECT_EQ(model().errorMessage(), "Too long to send: 221 bytes; a direct message holds at most 220.");
    EXPECT_EQ(bridge().written.size(), written);
    model().sendMessage(" " + std::string(220, 'x') + " ");
    EXPECT_EQ(bridge().written.size(), written + 1);
    model().setMessageRecipient(std::nullopt);
    model().sendMessage(std::string(232, 'x'));
    EXPECT_EQ(bridge().written.size(), written + 2);
}

// MARK: Radio settings

class CorvaneModelRadioSettingsTest : public CorvaneModelFixture {
protected:
    static MeshtasticRadioSettings applied() {
        auto settings = MeshtasticRadioSettings::recommended();
        settings.hopLimit = 5;
        return settings;
    }
    // Connected with the radio named, the settings sent and accepted.
    void applyAccepted() {
        startConnected();
        emitLocalNode(42);
        model().applyRadioSettings(applied());
        EXPECT_EQ(model().radioSettingsState(), "Applying to radio…");
        EXPECT_EQ(std::pair(bridge().request().command, bridge().request().settings),
                  std::pair(MeshtasticBridgeCommand::applyRadioSettings, std::optional(applied())));
        reply(news(Event::ready));
        EXPECT_EQ(model().loraConfig(), applied());  // shown at once
        EXPECT_EQ(model().radioSettingsState(), "Applied · verifying after restart…");
    }
};

TEST_F(CorvaneModelRadioSettingsTest, ReadAndApplyNeedAPortAndTheLocalNodeAndARefusedApplyChangesNothing) {
    startConnected();
    const auto written = bridge().written.size();
    model().requestRadioSettings();
    EXPECT_EQ(model().radioSettingsState(), "Connect the USB radio first.");
    model().applyRadioSettings(applied());
    EXPECT_EQ(model().errorMessage(), "Connect the USB radio before applying settings.");
    EXPECT_EQ(bridge().written.size(), written);

    emitLocalNode(42);
    model().requestRadioSettings();
    EXPECT_EQ(model().radioSettingsState(), "Reading from radio…");
    EXPECT_EQ(bridge().request().command, MeshtasticBridgeCommand::readRadioSettings);
    reply(news(Event::radioSettings, [&](Response& r) { r.settings = applied(); }));
    EXPECT_EQ(model().radioSettingsState(), "Loaded from radio");
    EXPECT_EQ(model().loraConfig(), applied());

    model().requestRadioSettings();
    loop_.advance(5s);
    EXPECT_EQ(model().radioSettingsState(), "Could not read settings");
    EXPECT_EQ(model().errorMessage(), "Halvo Meshtastic Bridge did not answer in time.");

    // A refused apply keeps the settings shown and reads nothing back.
    model().applyRadioSettings(MeshtasticRadioSettings::recommended());
    reply(news(Event::error, [&](Response& r) { r.error = "Region not allowed"; }));
    EXPECT_EQ(model().radioSettingsState(), "Could not apply settings");
    EXPECT_EQ(model().errorMessage(), "Region not allowed");
    EXPECT_EQ(model().loraConfig(), applied());
    const auto before = bridge().written.size();
    loop_.advance(10s);
    EXPECT_EQ(bridge().written.size(), before);
}

TEST_F(CorvaneModelRadioSettingsTest, ApplyReadsBackThreeSecondsLaterUnlessTheConnectionIsLost) {
    applyAccepted();
    const auto written = bridge().written.size();
    loop_.advance(3s - 1ms);
    EXPECT_EQ(bridge().written.size(), written);
    loop_.advance(1ms);
    EXPECT_EQ(model().radioSettingsState(), "Applied · radio restarting, reading back…");
    EXPECT_EQ(bridge().request().command, MeshtasticBridgeCommand::readRadioSettings);
    // The bridge answers once the radio is back, 32 s after the apply at the latest.
    loop_.advance(35s - 1ms);
    EXPECT_EQ(model().radioSettingsState(), "Applied · radio restarting, reading back…");
    reply(news(Event::radioSettings, [&](Response& r) { r.settings = MeshtasticRadioSettings::recommended(); }));
    EXPECT_EQ(model().radioSettingsState(), "Loaded from radio");
    EXPECT_EQ(model().loraConfig(), MeshtasticRadioSettings::recommended());
    applyAccepted();
    loop_.advance(3s + 35s);
    EXPECT_EQ(model().radioSettingsState(), "Could not read settings");

    applyAccepted();  // a fresh model
    loop_.advance(1s);
    bridge().exit();
    loop_.advance(2s);
    EXPECT_EQ(model().radioSettingsState(), "Connect the USB radio first.");
    EXPECT_EQ(model().loraConfig(), applied());
}

}  // namespace
}  // namespace corvane
