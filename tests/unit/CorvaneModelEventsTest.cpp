// How CorvaneModel applies what the bridge reports: connection news, the node
// index and its order, positions, channels, messages and the views on nodes.
#include <gtest/gtest.h>

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
using Names = std::vector<std::string>;
using Numbers = std::vector<std::uint32_t>;

using CorvaneModelEventsTest = CorvaneModelFixture;

template <typename Field>
auto each(const std::vector<MeshNode>& nodes, Field field) {
    std::vector<std::decay_t<decltype(nodes[0].*field)>> result;
    for (const auto& node : nodes) result.push_back(node.*field);
    return result;
}

template <typename Decode>
auto onFile(const std::string& path, Decode decode) {
    const auto text = PrivateFile::read(path);
    return text ? decode(*text).value_or(decltype(decode(*text).value()){}) : decltype(decode(*text).value()){};
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
    emit(news(Event::radioSettings, [&](Response& r) { r.settings = MeshtasticRadioSettings::recommended(); }));
    EXPECT_EQ(model().loraConfig(), MeshtasticRadioSettings::recommended());
    EXPECT_EQ(model().radioSettingsState(), "Loaded from radio");
    emit(news(Event::radioSettings));
    EXPECT_FALSE(model().loraConfig());
    EXPECT_EQ(model().radioSettingsState(), "Loaded from radio");

    for (const auto kind : {Event::ready, Event::connected, Event::sent, Event::status})  // status without text: nothing
        emit(news(kind, [&](Response& r) { r.port = "/dev/elsewhere"; r.packetID = 9; }));
    EXPECT_EQ(model().connectionState(), "Connected");
    EXPECT_EQ(model().connectedPort(), device("ttyACM0"));
    emit(news(Event::status, [&](Response& r) { r.status = "Radio rebooting"; }));
    EXPECT_EQ(model().connectionState(), "Radio rebooting");
    EXPECT_EQ(model().connectedPort(), device("ttyACM0"));
    emit(news(Event::disconnected, [&](Response& r) { r.status = "Cable unplugged"; }));
    EXPECT_EQ(model().connectionState(), "Cable unplugged");
    EXPECT_FALSE(model().connectedPort());
    emit(news(Event::disconnected));
    EXPECT_EQ(model().connectionState(), "Disconnected");
    loop_.advance(60s);  // the bridge said so itself; no automatic reconnect follows
    EXPECT_EQ(launches(), 1u);
}

TEST_F(CorvaneModelEventsTest, NodesSortNaturallyWithTheGuardedNodeFirst) {
    startConnected();
    emitNode(makeNode(10, "Node 10"));
    emitNode(makeNode(2, "node 2"));
    emitNode(makeNode(1, "Alpha"));
    EXPECT_EQ(each(model().nodes(), &MeshNode::longName), (Names{"Alpha", "node 2", "Node 10"}));
    EXPECT_EQ(model().selectedNodeID(), 10u);  // the first node heard

    model().setGuarded(makeNode(10, "Node 10"));
    EXPECT_EQ(defaults_.number("guardedNode"), 10.0);
    EXPECT_EQ(each(model().nodes(), &MeshNode::longName), (Names{"Node 10", "Alpha", "node 2"}));
    emitNode(makeNode(1, "Zulu"));  // renamed: one record per node, re-sorted
    EXPECT_EQ(each(model().nodes(), &MeshNode::longName), (Names{"Node 10", "node 2", "Zulu"}));
    model().clearGuardedDevice();
    EXPECT_FALSE(model().guardedNodeID());
    EXPECT_EQ(each(model().nodes(), &MeshNode::longName), (Names{"node 2", "Node 10", "Zulu"}));
}

// The list is kept in order one update at a time; whatever the sequence of
// renames, new nodes and guard changes, it must read as a full sort would.
TEST_F(CorvaneModelEventsTest, NodeOrderHoldsThroughManyUpdates) {
    startConnected();
    const Names names{"Alpha", "alpha", "Node 2", "node 10", "Node 9", "Ölberg", "Zulu", "", "Bike"};
    const TextCompare& text = TextCompare::forProcessLocale();
    std::mt19937 random(7);
    std::map<std::uint32_t, MeshNode> heard;
    for (int step = 0; step < 400; ++step) {
        const auto number = static_cast<std::uint32_t>(random() % 12);
        const auto action = random() % 20;
        if (action == 0) {
            model().setGuarded(makeNode(number, "ignored"));
        } else if (action == 1) {
            model().clearGuardedDevice();
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
    }
}

TEST_F(CorvaneModelEventsTest, PositionsEnterHistoryAndFileOncePerRecord) {
    startConnected();
    const MeshPosition first = positionAt(5, 0, 10);
    emitNode(makeNode(5, "Bike", first));
    emitNode(makeNode(5, "Bike", first));
    EXPECT_EQ(model().history(), std::vector<MeshPosition>{first});

    // Same place, new record: history keeps both, the file's own rule keeps
    // the repeat of the last fix out.
    MeshPosition again = first;
    again.id = Uuid::random();
    emitNode(makeNode(5, "Bike", again));
    const MeshPosition other = positionAt(6, 30, 20);
    emitNode(makeNode(6, "Other", other));
    EXPECT_EQ(model().history(), (std::vector<MeshPosition>{first, again, other}));
    EXPECT_EQ(model().positions(5), (std::vector<MeshPosition>{first, again}));
    EXPECT_EQ(model().positions(6), std::vector<MeshPosition>{other});
    EXPECT_EQ(onFile(dataFile("positions.json"), decodePositionsFile), (std::vector<MeshPosition>{first, other}));

    // An update without a position clears the node's, not the history...
    emitNode(makeNode(5, "Bike"));
    EXPECT_FALSE(model().nodes().front().position);
    EXPECT_EQ(model().history().size(), 3u);
    // ...so the earlier fix, reported again, is new for the node.
    emitNode(makeNode(5, "Bike", first));
    EXPECT_EQ(model().history().size(), 4u);
}

TEST_F(CorvaneModelEventsTest, ChannelNamesAndDisplayNames) {
    startConnected();
    emit(news(Event::channel, [&](Response& r) { r.channel = 3; }));
    emit(news(Event::channel, [&](Response& r) { r.channel = 0; r.channelName = "Main"; }));
    emit(news(Event::channel, [&](Response& r) { r.channel = 5; r.channelName = ""; }));
    emit(news(Event::channel, [&](Response& r) { r.channelName = "Orphan"; }));
    EXPECT_EQ(model().channels(), (std::map<std::uint32_t, std::string>{{0, "Main"}, {3, "Channel 3"}, {5, ""}}));
    emit(news(Event::channel, [&](Response& r) { r.channel = 0; }));
    EXPECT_EQ(model().channels().at(0), "Primary");

    MeshNode shortOnly = makeNode(11, "");
    shortOnly.shortName = "SH";
    emitNode(shortOnly);
    emitNode(makeNode(12, ""));
    emitNode(makeNode(13, "Long"));
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
    emitMessage(makeMessage(76, 5, "yesterday"));
    const MeshMessage fromBike = makeMessage(77, 5, "hello");
    emitMessage(fromBike);
    emitMessage(makeMessage(77, 5, "hello again"));  // the mesh repeating a packet
    const MeshMessage fromStranger = makeMessage(77, 6, "same packet, other sender");
    emitMessage(fromStranger);
    const MeshMessage unnumbered1 = makeMessage(0, 5, "first");
    const MeshMessage unnumbered2 = makeMessage(0, 5, "first");
    emitMessage(unnumbered1);
    emitMessage(unnumbered2);
    MeshMessage outgoing = makeMessage(90, 1, "sent elsewhere");
    outgoing.isOutgoing = true;
    emitMessage(outgoing);

    const std::vector<MeshMessage> expected{stored, fromBike, fromStranger, unnumbered1, unnumbered2, outgoing};
    EXPECT_EQ(model().messages(), expected);
    EXPECT_EQ(onFile(dataFile("messages.json"), decodeMessagesFile), expected);
    ASSERT_EQ(notifications_.posted.size(), 4u);
    EXPECT_EQ(notifications_.posted[0], (LocalNotification{.identifier = "message-" + fromBike.id.string(),
                                                            .title = "Bike",
                                                            .body = "hello",
                                                            .sound = LocalNotification::Sound::standard}));
    EXPECT_EQ(notifications_.posted[0].identifier.find_first_of("abcdef", 8), std::string::npos);  // upper-case
    EXPECT_EQ(std::pair(notifications_.posted[1].title, notifications_.posted[1].body),
              std::pair(std::string("!00000006"), std::string("same packet, other sender")));
}

TEST_F(CorvaneModelEventsTest, NodeViewsLeaveOutTheLocalAndTheGuardedNode) {
    defaults_.setNumber("guardedNode", 2);
    startConnected();
    emitLocalNode(1);
    for (const auto& [number, hops, age] : {std::tuple(1u, 0u, 0s), {2u, 0u, 0s}, {3u, 0u, 3600s}, {4u, 2u, 0s}, {5u, 0u, 3601s}}) {
        MeshNode made = makeNode(number, "Node " + std::to_string(number));
        made.hopsAway = hops;
        made.lastSeen = loop_.now() - age;
        emitNode(made);
    }
    MeshNode neverSeen = makeNode(6, "Node 6");
    neverSeen.lastSeen.reset();
    emitNode(neverSeen);
    // The stored guarded node is selected once heard, and leads the list.
    EXPECT_EQ(model().selectedNodeID(), 2u);
    EXPECT_EQ(each(model().nodes(), &MeshNode::number), (Numbers{2, 1, 3, 4, 5, 6}));
    EXPECT_EQ(each(model().directlyHeardNodes(), &MeshNode::number), Numbers{3});
    EXPECT_EQ(each(model().otherMeshNodes(), &MeshNode::number), (Numbers{4, 5, 6}));

    // Computed on each read: time alone moves node 3 out of reach.
    loop_.advance(1s);
    EXPECT_TRUE(model().directlyHeardNodes().empty());
    EXPECT_EQ(each(model().otherMeshNodes(), &MeshNode::number), (Numbers{3, 4, 5, 6}));
}

}  // namespace
}  // namespace corvane
