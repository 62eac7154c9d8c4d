// How CorvaneModel applies what the bridge reports: connection news, the node
// index and its order, positions, channels, messages and the views on nodes.
#include <gtest/gtest.h>

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

using CorvaneModelEventsTest = CorvaneModelFixture;

std::vector<std::string> longNames(const std::vector<MeshNode>& nodes) {
    std::vector<std::string> names;
    for (const auto& node : nodes) names.push_back(node.longName);
    return names;
}

std::vector<std::uint32_t> numbers(const std::vector<MeshNode>& nodes) {
    std::vector<std::uint32_t> result;
    for (const auto& node : nodes) result.push_back(node.number);
    return result;
}

std::vector<MeshPosition> positionsOnFile(const std::string& path) {
    const auto text = PrivateFile::read(path);
    return text ? decodePositionsFile(*text).value_or(std::vector<MeshPosition>{}) : std::vector<MeshPosition>{};
}

std::vector<MeshMessage> messagesOnFile(const std::string& path) {
    const auto text = PrivateFile::read(path);
    return text ? decodeMessagesFile(*text).value_or(std::vector<MeshMessage>{}) : std::vector<MeshMessage>{};
}

TEST_F(CorvaneModelEventsTest, ConnectionNewsFromTheBridge) {
    startConnected();
    for (const auto kind : {MeshtasticBridgeEvent::ready, MeshtasticBridgeEvent::connected, MeshtasticBridgeEvent::sent}) {
        auto news = event(kind);
        news.port = "/dev/elsewhere";
        news.packetID = 9;
        emit(news);
    }
    emit(event(MeshtasticBridgeEvent::status));  // no text: nothing
    EXPECT_EQ(model().connectionState(), "Connected");
    EXPECT_EQ(model().connectedPort(), device("ttyACM0"));

    auto status = event(MeshtasticBridgeEvent::status);
    status.status = "Radio rebooting";
    emit(status);
    EXPECT_EQ(model().connectionState(), "Radio rebooting");
    EXPECT_EQ(model().connectedPort(), device("ttyACM0"));

    auto unplugged = event(MeshtasticBridgeEvent::disconnected);
    unplugged.status = "Cable unplugged";
    emit(unplugged);
    EXPECT_EQ(model().connectionState(), "Cable unplugged");
    EXPECT_FALSE(model().connectedPort());

    emit(event(MeshtasticBridgeEvent::disconnected));
    EXPECT_EQ(model().connectionState(), "Disconnected");
    // The bridge said so itself; no automatic reconnect follows.
    loop_.advance(60s);
    EXPECT_EQ(launches(), 1u);
}

TEST_F(CorvaneModelEventsTest, LocalNodeErrorAndRadioSettingsNews) {
    startConnected();
    emitLocalNode(42);
    EXPECT_EQ(model().localNodeID(), 42u);
    emitLocalNode(std::nullopt);
    EXPECT_FALSE(model().localNodeID());

    auto error = event(MeshtasticBridgeEvent::error);
    error.error = "Radio refused the packet";
    emit(error);
    EXPECT_EQ(model().errorMessage(), "Radio refused the packet");
    emit(event(MeshtasticBridgeEvent::error));
    EXPECT_FALSE(model().errorMessage());

    auto settings = event(MeshtasticBridgeEvent::radioSettings);
    settings.settings = MeshtasticRadioSettings::recommended();
    emit(settings);
    EXPECT_EQ(model().loraConfig(), MeshtasticRadioSettings::recommended());
    EXPECT_EQ(model().radioSettingsState(), "Loaded from radio");
    emit(event(MeshtasticBridgeEvent::radioSettings));
    EXPECT_FALSE(model().loraConfig());
    EXPECT_EQ(model().radioSettingsState(), "Loaded from radio");
}

TEST_F(CorvaneModelEventsTest, NodesSortNaturallyWithTheGuardedNodeFirst) {
    startConnected();
    emitNode(makeNode(10, "Node 10"));
    EXPECT_EQ(model().selectedNodeID(), 10u);  // the first node heard
    emitNode(makeNode(2, "node 2"));
    emitNode(makeNode(1, "Alpha"));
    EXPECT_EQ(longNames(model().nodes()), (std::vector<std::string>{"Alpha", "node 2", "Node 10"}));
    EXPECT_EQ(model().selectedNodeID(), 10u);

    model().setGuarded(makeNode(10, "Node 10"));
    EXPECT_EQ(defaults_.number("guardedNode"), 10.0);
    EXPECT_EQ(longNames(model().nodes()), (std::vector<std::string>{"Node 10", "Alpha", "node 2"}));
    emitNode(makeNode(1, "Zulu"));  // renamed: one record per node, re-sorted
    EXPECT_EQ(longNames(model().nodes()), (std::vector<std::string>{"Node 10", "node 2", "Zulu"}));

    model().clearGuardedDevice();
    EXPECT_FALSE(model().guardedNodeID());
    EXPECT_EQ(longNames(model().nodes()), (std::vector<std::string>{"node 2", "Node 10", "Zulu"}));
}

// The list is kept in order one update at a time; whatever the sequence of
// renames, new nodes and guard changes, it must read as a full sort would.
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
        } else if (action == 1) {
            model().clearGuardedDevice();
        } else {
            MeshNode node = makeNode(number, names[random() % names.size()]);
            node.batteryLevel = static_cast<std::uint32_t>(step);
            emitNode(node);
            heard.insert_or_assign(number, node);
        }
        const auto& nodes = model().nodes();
        ASSERT_EQ(nodes.size(), heard.size()) << "step " << step;
        const auto guarded = model().guardedNodeID();
        std::size_t first = 0;
        if (guarded && heard.contains(*guarded)) {
            ASSERT_EQ(nodes[0].number, *guarded) << "step " << step;
            first = 1;
        }
        std::set<std::uint32_t> listed;
        for (std::size_t i = 0; i < nodes.size(); ++i) {
            listed.insert(nodes[i].number);
            ASSERT_EQ(nodes[i], heard.at(nodes[i].number)) << "step " << step;  // the latest record, whole
            if (i > first) {
                ASSERT_FALSE(text.less(nodes[i].longName, nodes[i - 1].longName))
                    << "step " << step << ": " << nodes[i - 1].longName << " before " << nodes[i].longName;
            }
        }
        ASSERT_EQ(listed.size(), heard.size()) << "step " << step;
    }
}

TEST_F(CorvaneModelEventsTest, FirstNodeSelectsTheStoredGuardedNode) {
    defaults_.setNumber("guardedNode", 3);
    startConnected();
    emitNode(makeNode(1, "Alpha"));
    emitNode(makeNode(3, "Zulu"));
    EXPECT_EQ(model().selectedNodeID(), 3u);
    EXPECT_EQ(numbers(model().nodes()), (std::vector<std::uint32_t>{3, 1}));
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
    EXPECT_EQ(positionsOnFile(dataFile("positions.json")),
              (std::vector<MeshPosition>{first, other}));

    // An update without a position clears the node's, not the history.
    emitNode(makeNode(5, "Bike"));
    EXPECT_FALSE(model().nodes().front().position);
    EXPECT_EQ(model().history().size(), 3u);
    // ...so the earlier fix, reported again, is new for the node.
    emitNode(makeNode(5, "Bike", first));
    EXPECT_EQ(model().history().size(), 4u);
}

TEST_F(CorvaneModelEventsTest, ChannelNames) {
    startConnected();
    auto channel = [this](std::optional<std::uint32_t> index, std::optional<std::string> name) {
        auto news = event(MeshtasticBridgeEvent::channel);
        news.channel = index;
        news.channelName = std::move(name);
        emit(news);
    };
    channel(3, std::nullopt);
    channel(0, "Main");
    channel(5, "");
    channel(std::nullopt, "Orphan");
    EXPECT_EQ(model().channels(),
              (std::map<std::uint32_t, std::string>{{0, "Main"}, {3, "Channel 3"}, {5, ""}}));
    channel(0, std::nullopt);
    EXPECT_EQ(model().channels().at(0), "Primary");
}

TEST_F(CorvaneModelEventsTest, ObserversHearOfEveryChangeTheyMustReRead) {
    startConnected();
    int notices = 0;
    const auto subscription = model().changed().subscribe([&notices] { ++notices; });
    const auto noticed = [&notices](const char* what) {
        EXPECT_GT(notices, 0) << what;
        notices = 0;
    };
    auto channel = event(MeshtasticBridgeEvent::channel);
    channel.channel = 1;
    emit(channel);
    noticed("channel");
    emitNode(makeNode(5, "Bike", positionAt(5, 0, 10)));
    noticed("node");
    emitMessage(makeMessage(1, 5, "hi"));
    noticed("message");
    model().setGuarded(makeNode(5, "Bike"));
    noticed("setGuarded");
    model().clearGuardedDevice();
    noticed("clearGuardedDevice");
    emitLocalNode(3);
    noticed("localNode");
}

TEST_F(CorvaneModelEventsTest, MessagesAreDeduplicatedStoredAndAnnounced) {
    startConnected();
    emitNode(makeNode(5, "Bike"));
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

    const std::vector<MeshMessage> expected{fromBike, fromStranger, unnumbered1, unnumbered2, outgoing};
    EXPECT_EQ(model().messages(), expected);
    EXPECT_EQ(messagesOnFile(dataFile("messages.json")), expected);

    ASSERT_EQ(notifications_.posted.size(), 4u);
    EXPECT_EQ(notifications_.posted[0], (LocalNotification{.identifier = "message-" + fromBike.id.string(),
                                                            .title = "Bike",
                                                            .body = "hello",
                                                            .sound = LocalNotification::Sound::standard}));
    EXPECT_EQ(notifications_.posted[0].identifier.size(), std::string("message-").size() + 36);
    EXPECT_EQ(notifications_.posted[0].identifier.find_first_of("abcdef", 8), std::string::npos);
    EXPECT_EQ(notifications_.posted[1].title, "!00000006");
    EXPECT_EQ(notifications_.posted[1].body, "same packet, other sender");
}

TEST_F(CorvaneModelEventsTest, StoredMessagesAreLoadedAndStillCountForDuplicates) {
    MessageStore earlier(dataFile("messages.json"));
    const MeshMessage stored = makeMessage(77, 5, "yesterday");
    ASSERT_TRUE(earlier.append(stored, MessageStore::kMaximumCount));
    startConnected();
    EXPECT_EQ(model().messages(), std::vector<MeshMessage>{stored});
    emitMessage(makeMessage(77, 5, "yesterday"));
    EXPECT_EQ(model().messages().size(), 1u);
    EXPECT_TRUE(notifications_.posted.empty());
}

TEST_F(CorvaneModelEventsTest, DisplayNames) {
    startConnected();
    MeshNode shortOnly = makeNode(11, "");
    shortOnly.shortName = "SH";
    emitNode(shortOnly);
    emitNode(makeNode(12, ""));
    emitNode(makeNode(13, "Long"));
    EXPECT_EQ(model().displayName(CorvaneModel::kBroadcastNode), "Everyone");
    EXPECT_EQ(model().displayName(10), "!0000000a");
    EXPECT_EQ(model().displayName(0xDEADBEEF), "!deadbeef");
    EXPECT_EQ(model().displayName(11), "SH");
    EXPECT_EQ(model().displayName(12), "!0000000c");
    EXPECT_EQ(model().displayName(13), "Long");
}

TEST_F(CorvaneModelEventsTest, NodeViewsLeaveOutTheLocalAndTheGuardedNode) {
    defaults_.setNumber("guardedNode", 2);
    startConnected();
    emitLocalNode(1);
    auto node = [this](std::uint32_t number, std::uint32_t hops, std::chrono::seconds age) {
        MeshNode made = makeNode(number, "Node " + std::to_string(number));
        made.hopsAway = hops;
        made.lastSeen = loop_.now() - age;
        emitNode(made);
    };
    node(1, 0, 0s);
    node(2, 0, 0s);
    node(3, 0, 3600s);
    node(4, 2, 0s);
    node(5, 0, 3601s);
    MeshNode neverSeen = makeNode(6, "Node 6");
    neverSeen.lastSeen.reset();
    emitNode(neverSeen);
    EXPECT_EQ(numbers(model().directlyHeardNodes()), std::vector<std::uint32_t>{3});
    EXPECT_EQ(numbers(model().otherMeshNodes()), (std::vector<std::uint32_t>{4, 5, 6}));

    // Computed on each read: time alone moves node 3 out of reach.
    loop_.advance(1s);
    EXPECT_TRUE(model().directlyHeardNodes().empty());
    EXPECT_EQ(numbers(model().otherMeshNodes()), (std::vector<std::uint32_t>{3, 4, 5, 6}));
}

}  // namespace
}  // namespace corvane
