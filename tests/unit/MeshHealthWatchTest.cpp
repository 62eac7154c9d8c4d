// SPDX-License-Identifier: GPL-3.0-or-later
// The mesh health watch inside the model, on virtual time: silence, return,
// battery crossings, the guarded node's default and a computer that slept.
#include <gtest/gtest.h>

#include "CorvaneModelFixture.h"
#include "core/GpxTrack.h"
#include "core/MeshSilenceRule.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;
constexpr std::uint32_t kNode = 42;

class MeshHealthWatchTest : public CorvaneModelFixture {
protected:
    MeshHealthWatch& watch() { return model().meshHealth(); }
    // A node line heard now.
    void hear(std::uint32_t number, std::optional<std::uint32_t> battery = {}) {
        MeshNode node = makeNode(number, "Tracker");
        node.lastSeen = loop_.now();
        node.batteryLevel = battery;
        emitNode(node);
    }
    std::vector<std::string> identifiers() const {
        std::vector<std::string> ids;
        for (const auto& posted : notifications_.posted) ids.push_back(posted.identifier);
        return ids;
    }
};

TEST_F(MeshHealthWatchTest, SilenceAlertsOnceAfterTheDelayAndTheNextPacketReportsTheReturn) {
    startConnected();
    hear(kNode);
    watch().setSilenceDelay(kNode, 15min);
    EXPECT_EQ(defaults_.number("meshSilenceDelay.42"), 900);
    loop_.advance(10min);
    hear(kNode);  // heard again: the count starts over
    loop_.advance(15min - 1s);
    EXPECT_TRUE(notifications_.posted.empty());
    loop_.advance(1s);
    ASSERT_EQ(identifiers(), std::vector<std::string>{"mesh-node-silent-42"});
    EXPECT_EQ(notifications_.posted[0].title, "Tracker went silent");
    EXPECT_TRUE(watch().isSilent(kNode));
    loop_.advance(3h);
    EXPECT_EQ(notifications_.posted.size(), 1u);

    // A text counts as hearing from the node too.
    emitMessage(makeMessage(7, kNode, "hello"));
    EXPECT_FALSE(watch().isSilent(kNode));
    ASSERT_EQ(notifications_.posted.size(), 3u);  // the return, then the message itself
    EXPECT_EQ(std::pair(notifications_.posted[1].identifier, notifications_.posted[1].body),
              std::pair(std::string("mesh-node-returned-42"), std::string("Heard again after 3 h 15 min of silence.")));
}

TEST_F(MeshHealthWatchTest, OldNewsNeitherEndsSilenceNorAlertsWhileTheRadioIsAway) {
    startConnected();
    watch().setSilenceDelay(kNode, 30min);
    MeshNode replayed = makeNode(kNode, "Tracker");
    replayed.lastSeen = loop_.now() - 20min;
    emitNode(replayed);
    // Heard 20 minutes ago: 10 minutes left, though the grace after connecting would give 5.
    loop_.advance(10min - 1s);
    EXPECT_FALSE(watch().isSilent(kNode));
    loop_.advance(1s);
    EXPECT_TRUE(watch().isSilent(kNode));
    emitNode(replayed);  // the same record replayed: still silent, no return
    EXPECT_TRUE(watch().isSilent(kNode));
    EXPECT_EQ(notifications_.posted.size(), 1u);

    // Without a radio nothing becomes silent.
    watch().setSilenceDelay(kNode + 1, 15min);
    hear(kNode + 1);
    model().disconnect();
    loop_.advance(2h);
    EXPECT_FALSE(watch().isSilent(kNode + 1));
}

TEST_F(MeshHealthWatchTest, AfterSleepEveryNodeGetsTheGraceBeforeItCanBeSilent) {
    startConnected();
    watch().setSilenceDelay(kNode, 1h);
    hear(kNode);
    loop_.advance(58min);
    // The monotonic clock stood still in the sleep; only the wall clock moved.
    loop_.jumpWallClock(8h);
    bluetooth_.wake.wake();
    loop_.advance(MeshHealthWatch::kResumeGrace - 1s);
    EXPECT_FALSE(watch().isSilent(kNode));
    loop_.advance(1s);
    EXPECT_TRUE(watch().isSilent(kNode));
    EXPECT_EQ(notifications_.posted.size(), 1u);
}

TEST_F(MeshHealthWatchTest, GuardedNodeAlertsWithItsProfileDelayWhileArmed) {
    EXPECT_EQ(MeshSilenceRule::guardedDelay(GuardProfile::general), 1h);  // the bicycle's 30 min is run below
    startConnected();
    model().setGuardProfile(GuardProfile::bicycle);
    model().setGuarded(makeNode(kNode, "Bike"));
    emitNode(makeNode(kNode, "Bike", positionAt(kNode, 0, 0)));
    loop_.advance(2h);
    EXPECT_TRUE(notifications_.posted.empty()) << "not armed yet";
    MeshNode parked = makeNode(kNode, "Bike", positionAt(kNode, 0, 7200));
    parked.lastSeen = loop_.now();
    emitNode(parked);
    model().markGuardedPosition();
    loop_.advance(30min);
    ASSERT_EQ(identifiers(), std::vector<std::string>{"mesh-node-silent-42"});
    EXPECT_EQ(std::pair(notifications_.posted[0].title, notifications_.posted[0].sound),
              std::pair(std::string("Bicycle tracker went silent"), LocalNotification::Sound::critical));

    // Switched off by the user: the guard no longer watches it.
    hear(kNode);
    watch().setGuardSilenceAlert(false);
    loop_.advance(5h);
    EXPECT_EQ(notifications_.posted.size(), 2u);  // the alert and the return
}

TEST_F(MeshHealthWatchTest, LowBatteryAlertsOncePerCrossingAndPoweredNeverAlerts) {
    startConnected();
    watch().setBatteryThreshold(kNode, 20);
    for (const std::uint32_t level : {30u, 101u, 21u, 20u, 19u, 22u, 24u, 18u, 25u, 15u, 101u, 10u}) hear(kNode, level);
    // Low at 20, not well again at 22 or 24 (margin 5), well at 25; low at 15; powered is well; low at 10.
    EXPECT_EQ(identifiers(), std::vector<std::string>(3, "mesh-node-battery-42"));
    EXPECT_EQ(notifications_.posted[0].body, "Battery at 20 % (alert at 20 % or below).");
    EXPECT_EQ(notifications_.posted[1].body, "Battery at 15 % (alert at 20 % or below).");
    hear(kNode + 1, 5);  // no threshold: no alert
    EXPECT_EQ(notifications_.posted.size(), 3u);
}

TEST(GpxTrackTest, EscapesNamesAndKeepsCoordinatesInRange) {
    EXPECT_EQ(GpxTrack::escaped("a<b>&\"c'\x01"), "a&lt;b&gt;&amp;&quot;c&apos;");
    const MeshPosition fix{.id = Uuid::random(), .nodeNumber = 1, .latitude = 0.00001, .longitude = 180.0,
                           .altitude = -3, .timestamp = Timestamp{} + 1772357400s, .precisionBits = std::nullopt};
    const std::string gpx = GpxTrack::document("x", {fix});
    EXPECT_NE(gpx.find("<trkpt lat=\"0.00001\" lon=\"-180\">"), std::string::npos) << gpx;
    EXPECT_NE(gpx.find("<ele>-3</ele>"), std::string::npos);
    EXPECT_NE(gpx.find("<time>2026-03-01T09:30:00Z</time>"), std::string::npos);
}

}  // namespace
}  // namespace corvane
