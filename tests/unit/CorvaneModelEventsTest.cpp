// SPDX-License-Identifier: GPL-3.0-or-later
// How CorvaneModel applies what the bridge reports: connection news, the node
// index and its order, positions, channels, messages and the views on nodes.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <set>

#include "core/MessageStore.h"
#include "core/PositionStore.h"
#include "core/PrivateFile.h"
#include "core/TextCompare.h"
#include "unit/CorvaneModelFixture.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;
using Numbers = std::vector<std::uint32_t>;
using CorvaneModelEventsTest = CorvaneModelFixture;

Numbers numbers(const std::vector<MeshNode>& nodes) {
    Numbers result;
    for (const auto& node : nodes) result.push_back(node.number);
    return result;
}

TEST_F(CorvaneModelEventsTest, LocalNodeErrorRadioSettingsAndConnectionNews) {
    startConnected();
    emitLocalNode(42);
    EXPECT_EQ(model().localNodeID(), 42u);
    emitLocalNode(std::nullopt);
    EXPECT_FALSE(model().localNodeID());
    emit(news(Event::error, [&](Response& r) { r.error = "Radio refused the packet"; }));
    EXPECT_EQ(model().errorMessage(), "Radio refused the packet");
    emit(news(Event::error));
    EXPECT_FALSE(model().errorMessage());
    for (const auto& settings : {std::optional(MeshtasticRadioSettings::recommended()), std::optional<MeshtasticRadioSettings>()}) {
        emit(news(Event::radioSettings, [&](Response& r) { r.settings = settings; }));
        EXPECT_EQ(model().loraConfig(), settings);
        EXPECT_EQ(model().radioSettingsState(), "Loaded from radio");
    }

    for (const auto kind : {Event::ready, Event::connected, Event::sent, Event::status})  // status without text: nothing
        emit(news(kind, [&](Response& r) { r.port = "/dev/elsewhere"; r.packetID = 9; }));
    const auto connection = [this] { return std::pair(model().connectedPort(), model().connectionState()); };
    EXPECT_EQ(connection(), std::pair(std::optional(device("ttyACM0")), std::string("Connected")));
    emit(news(Event::status, [&](Response& r) { r.status = "Radio rebooting"; }));
    EXPECT_EQ(connection(), std::pair(std::optional(device("ttyACM0")), std::string("Radio rebooting")));
    emit(news(Event::disconnected, [&](Response& r) { r.status = "Cable unplugged"; }));
    EXPECT_EQ(connection(), std::pair(std::optional<std::string>(), std::string("Cable unplugged")));
    emit(news(Event::disconnected));
    EXPECT_EQ(model().connectionState(), "Disconnected");
    loop_.advance(60s);  // the bridge said so itself; no automatic reconnect follows
    EXPECT_EQ(launches(), 1u);
}

// The list is kept in order one update at a time; whatever the sequence of
// renames, new nodes and guard changes, it must read as a full sort would,
// the guarded node first.
TEST_F(CorvaneModelEventsTest, NodeOrderHoldsThroughManyUpdates) {
    startConnected();
    const std::vector<std::string> names{"Alpha", "alpha", "Node 2", "node 10", "Node 9", "Ölberg", "Zulu", "", "Bike"};
    const TextCompare& text = TextCompare::forProcessLocale();
    std::mt19937 random(7);
    std::map<std::uint32_t, MeshNode> heard;
    for (int step = 0; step < 400; ++step) {
        const auto number = static_cast<std::uint32_t>(random() % 12);
        const auto action = random() % 20;
        if (action == 0) {
            model().setGuarded(makeNode(number, "ignored"));
            ASSERT_EQ(defaults_.number("guardedNode"), number);
        } else if (action == 1) {
            model().clearGuardedDevice();
            ASSERT_FALSE(model().guardedNodeID() || defaults_.contains("guardedNode"));
        } else {
            MeshNode node = makeNode(number, names[random() % names.size()]);
            node.batteryLevel = static_cast<std::uint32_t>(step);
            emitNode(node);
            heard.insert_or_assign(number, node);
        }
        const auto& nodes = model().nodes();
        const auto guarded = model().guardedNodeID();
        const std::size_t first = guarded && heard.contains(*guarded) ? 1 : 0;
        ASSERT_EQ(nodes.size(), heard.size()) << "step " << step;
        ASSERT_TRUE(first == 0 || nodes[0].number == *guarded) << "step " << step;
        std::set<std::uint32_t> listed;
        for (std::size_t i = 0; i < nodes.size(); ++i) {
            listed.insert(nodes[i].number);
            ASSERT_EQ(nodes[i], heard.at(nodes[i].number)) << "step " << step;  // the latest record, whole
            ASSERT_TRUE(i <= first || !text.less(nodes[i].longName, nodes[i - 1].longName))
                << "step " << step << ": " << nodes[i - 1].longName << " before " << nodes[i].longName;
        }
        ASSERT_EQ(listed.size(), heard.size()) << "step " << step;
        // Equal names (case variants, repeats) fall back to node numbers.
        std::vector<MeshNode> reference;
        for (const auto& entry : heard) reference.push_back(entry.second);
        std::stable_sort(reference.begin(), reference.end(), [&](const MeshNode& a, const MeshNode& b) {
            return std::tuple(a.number != guarded, text.sortKey(a.longName), a.number) <
                   std::tuple(b.number != guarded, text.sortKey(b.longName), b.number);
        });
        ASSERT_EQ(numbers(nodes), numbers(reference)) << "step " << step;
    }
}

TEST_F(CorvaneModelEventsTest, PositionsEnterHistoryAndFileOncePerFix) {
    startConnected();
    const MeshPosition first = positionAt(5, 0, 10);
    emitNode(makeNode(5, "Bike", first));
    emitNode(makeNode(5, "Bike", first));
    EXPECT_EQ(model().history(), std::vector<MeshPosition>{first});
    // The radio's database handed over again (a new record of the same fix)
    // adds nothing; the same place at a later time is a new fix.
    MeshPosition replayed = first;
    replayed.id = Uuid::random();
    emitNode(makeNode(5, "Bike", replayed));
    MeshPosition later = replayed;
    later.timestamp += 1s;
    emitNode(makeNode(5, "Bike", later));
    MeshPosition moved = first;
    moved.id = Uuid::random();
    moved.longitude += 1e-6;
    emitNode(makeNode(5, "Bike", moved));
    const MeshPosition other = positionAt(6, 30, 20);
    emitNode(makeNode(6, "Other", other));
    MeshPosition otherNodeSameFix = first;
    otherNodeSameFix.nodeNumber = 6;
    emitNode(makeNode(6, "Other", otherNodeSameFix));
    EXPECT_EQ(model().history(), (std::vector<MeshPosition>{first, later, moved, other, otherNodeSameFix}));
    EXPECT_EQ(model().positions(5), (std::vector<MeshPosition>{first, later, moved}));
    EXPECT_EQ(decodePositionsFile(PrivateFile::read(dataFile("positions.json")).value()),
              (std::vector<MeshPosition>{first, moved, other, otherNodeSameFix}));

    // An update without a position clears the node's, not the history; the
    // earlier fix reported again is still one the history holds.
    emitNode(makeNode(5, "Bike"));
    EXPECT_FALSE(model().nodes().front().position);
    emitNode(makeNode(5, "Bike", first));
    EXPECT_EQ(model().history().size(), 5u);
}

TEST_F(CorvaneModelEventsTest, ChannelNamesAndDisplayNames) {
    startConnected();
    const auto channel = [this](std::optional<std::uint32_t> index, std::optional<std::string> name) {
        emit(news(Event::channel, [&](Response& r) { r.channel = index; r.channelName = name; }));
    };
    channel(3, std::nullopt);
    channel(0, "Main");
    channel(5, "");
    channel(std::nullopt, "Orphan");
    EXPECT_EQ(model().channels(), (std::map<std::uint32_t, std::string>{{0, "Main"}, {3, "Channel 3"}, {5, ""}}));
    channel(0, std::nullopt);
    EXPECT_EQ(model().channels().at(0), "Primary");

    MeshNode shortOnly = makeNode(11, "");
    shortOnly.shortName = "SH";
    emitNode(shortOnly);
    emitNode(makeNode(12, ""));
    emitNode(makeNode(13, "Long"));
    EXPECT_EQ(model().selectedNodeID(), 11u);  // the first node heard
    for (const auto& [number, name] : std::initializer_list<std::pair<std::uint32_t, const char*>>{
             {CorvaneModel::kBroadcastNode, "Everyone"}, {10, "!0000000a"}, {0xDEADBEEF, "!deadbeef"},
             {11, "SH"}, {12, "!0000000c"}, {13, "Long"}})
        EXPECT_EQ(model().displayName(number), name) << number;
}

TEST_F(CorvaneModelEventsTest, ObserversHearOfEveryChangeTheyMustReRead) {
    startConnected();
    int notices = 0;
    const auto subscription = model().changed().subscribe([&notices] { ++notices; });
    const std::pair<const char*, std::function<void()>> changes[] = {
        {"channel", [&] { emit(news(Event::channel, [&](Response& r) { r.channel = 1; })); }},
        {"node", [&] { emitNode(makeNode(5, "Bike", positionAt(5, 0, 10))); }},
        {"message", [&] { emitMessage(makeMessage(1, 5, "hi")); }},
        {"setGuarded", [&] { model().setGuarded(makeNode(5, "Bike")); }},
        {"clearGuardedDevice", [&] { model().clearGuardedDevice(); }},
        {"localNode", [&] { emitLocalNode(3); }}};
    for (const auto& [what, change] : changes) {
        notices = 0;
        change();
        EXPECT_GT(notices, 0) << what;
    }
}

TEST_F(CorvaneModelEventsTest, MessagesAreDeduplicatedAlsoAgainstStoredOnesStoredAndAnnounced) {
    const MeshMessage stored = makeMessage(76, 5, "yesterday");
    ASSERT_TRUE(MessageStore(dataFile("messages.json")).append(stored, MessageStore::kMaximumCount));
    startConnected();
    EXPECT_EQ(model().messages(), std::vector<MeshMessage>{stored});
    emitNode(makeNode(5, "Bike"));
    MeshMessage outgoing = makeMessage(90, 1, "sent elsewhere");
    outgoing.isOutgoing = true;
    // After the stored one: the mesh repeating packet 77, the same packet from another sender, and two unnumbered.
    const std::vector<MeshMessage> expected{stored, makeMessage(77, 5, "hello"), makeMessage(77, 6, "other sender"),
                                            makeMessage(0, 5, "first"), makeMessage(0, 5, "first"), outgoing};
    for (const MeshMessage& message : {makeMessage(76, 5, "yesterday"), expected[1], makeMessage(77, 5, "hello again"),
                                       expected[2], expected[3], expected[4], outgoing})
        emitMessage(message);
    EXPECT_EQ(model().messages(), expected);
    EXPECT_EQ(decodeMessagesFile(PrivateFile::read(dataFile("messages.json")).value()), expected);
    ASSERT_EQ(notifications_.posted.size(), 4u);
    EXPECT_EQ(notifications_.posted[0], (LocalNotification{"message-" + expected[1].id.string(), "Bike", "hello",
                                                            LocalNotification::Sound::standard,
                                                            LocalNotification::Kind::meshMessage}));
    EXPECT_EQ(notifications_.posted[0].identifier.find_first_of("abcdef", 8), std::string::npos);  // upper-case
    EXPECT_EQ(std::tuple(notifications_.posted[1].title, notifications_.posted[1].body),
              std::tuple("!00000006", "other sender"));
}

TEST_F(CorvaneModelEventsTest, NodeViewsLeaveOutTheLocalAndTheGuardedNode) {
    defaults_.setNumber("guardedNode", 2);
    startConnected();
    emitLocalNode(1);
    using Seen = std::tuple<std::uint32_t, std::uint32_t, std::optional<std::chrono::seconds>>;
    for (const auto& [number, hops, age] : {Seen{1, 0, 0s}, Seen{2, 0, 0s}, Seen{3, 0, 3600s}, Seen{4, 2, 0s},
                                            Seen{5, 0, 3601s}, Seen{6, 0, std::nullopt}}) {
        MeshNode made = makeNode(number, "Node " + std::to_string(number));
        made.hopsAway = hops;
        made.lastSeen = age ? std::optional(loop_.now() - *age) : std::nullopt;
        emitNode(made);
    }
    // The stored guarded node is selected once heard, and leads the list.
    EXPECT_EQ(model().selectedNodeID(), 2u);
    EXPECT_EQ(numbers(model().nodes()), (Numbers{2, 1, 3, 4, 5, 6}));
    EXPECT_EQ(numbers(model().directlyHeardNodes()), Numbers{3});
    EXPECT_EQ(numbers(model().otherMeshNodes()), (Numbers{4, 5, 6}));
    // Computed on each read: time alone moves node 3 out of reach.
    loop_.advance(1s);
    EXPECT_TRUE(model().directlyHeardNodes().empty());
    EXPECT_EQ(numbers(model().otherMeshNodes()), (Numbers{3, 4, 5, 6}));
}

}  // namespace
}  // namespace corvane
