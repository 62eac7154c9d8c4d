// Drives the real corvane-bridge-sim executable over pipes with QProcess's
// blocking calls. Every wait is bounded by a deadline of a few seconds; the
// QProcess kills and reaps the child whatever the test's outcome.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "core/LineSplitter.h"
#include "core/MeshMath.h"
#include "core/MeshtasticBridgeRequest.h"
#include "core/MeshtasticBridgeResponse.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Command = MeshtasticBridgeCommand;
using Event = MeshtasticBridgeEvent;

class SimProcess {
public:
    explicit SimProcess(const QStringList& options, const QString& envOptions = {}) {
        auto environment = QProcessEnvironment::systemEnvironment();
        if (envOptions.isEmpty()) environment.remove("CORVANE_BRIDGE_SIM_ARGS");
        else environment.insert("CORVANE_BRIDGE_SIM_ARGS", envOptions);
        process_.setProcessEnvironment(environment);
        process_.start(qEnvironmentVariable("CORVANE_BUILD_BIN", ".") + "/corvane-bridge-sim",
                       QStringList{"serve", "--jsonl"} + options);
        EXPECT_TRUE(process_.waitForStarted(3000));
    }

    void sendRaw(const std::string& bytes) {
        process_.write(bytes.data(), static_cast<qint64>(bytes.size()));
        process_.waitForBytesWritten(3000);
    }
    Uuid send(const MeshtasticBridgeRequest& r) { return sendRaw(encodeLine(r).value_or("")), r.requestID; }
    void closeInput() { process_.closeWriteChannel(); }

    // The next complete line of standard output, or nothing by the deadline.
    std::optional<std::string> nextLine(Clock::duration timeout = 3s) {
        const auto deadline = Clock::now() + timeout;
        const auto keep = [this](std::string_view line) { lines_.emplace_back(line); };
        while (lines_.empty() && !ended_ && Clock::now() < deadline) {
            ended_ = process_.state() == QProcess::NotRunning;  // its last output is buffered by then
            const QByteArray chunk = process_.readAllStandardOutput();
            splitter_.feed(std::string_view(chunk.constData(), static_cast<std::size_t>(chunk.size())), keep);
            if (ended_) splitter_.finish(keep);
            if (lines_.empty() && !ended_) process_.waitForReadyRead(static_cast<int>((deadline - Clock::now()) / 1ms) + 1);
        }
        if (lines_.empty()) return std::nullopt;
        auto line = std::move(lines_.front());
        lines_.pop_front();
        return line;
    }

    // Skips undecodable lines, as a reader of the bridge must.
    std::optional<MeshtasticBridgeResponse> nextResponse(Clock::duration timeout = 3s) {
        const auto deadline = Clock::now() + timeout;
        while (const auto line = nextLine(deadline - Clock::now())) {
            if (auto response = decodeMeshtasticBridgeResponse(*line)) return response;
        }
        return std::nullopt;
    }

    // The next reply, checked against the request it answers (none: news).
    MeshtasticBridgeResponse expectNext(std::optional<Uuid> id, Event event) {
        const auto next = nextResponse();
        EXPECT_TRUE(next && next->requestID == id && next->event == event)
            << (next ? encodeLine(*next).value_or("?") : "no reply");
        return next.value_or(MeshtasticBridgeResponse{});
    }
    MeshtasticBridgeResponse exchange(const MeshtasticBridgeRequest& r, Event event) { return expectNext(send(r), event); }

    // Exit status once the child has ended (-1: killed or still running).
    int exitStatus() {
        process_.waitForFinished(3000);
        return process_.state() == QProcess::NotRunning && process_.exitStatus() == QProcess::NormalExit
                   ? process_.exitCode() : -1;
    }
    qsizetype stderrBytes() { return process_.readAllStandardError().size(); }

private:
    QProcess process_;
    LineSplitter splitter_;
    std::deque<std::string> lines_;
    bool ended_ = false;
};

MeshtasticBridgeRequest request(Command command, const std::string& value = "") {
    MeshtasticBridgeRequest made(command);
    if (command == Command::connect) made.port = value.empty() ? "/dev/ttyACM0" : value;
    if (command == Command::sendText) made.text = value, made.channel = 0;
    return made;
}

// Noise on both outputs is part of the run: garbage and an oversized status
// line before every reply, and more standard error than a pipe holds.
TEST(BridgeSimTest, AnswersEveryCommandThroughNoiseAndEchoesTheRequestID) {
    constexpr qsizetype kFlood = 300 * 1024;
    SimProcess sim({"--speed", "50", "--garbage", "--oversized", "2097152", "--stderr-flood", QString::number(kFlood)});
    const auto connected = sim.exchange(request(Command::connect, "/dev/ttyUSB7"), Event::connected);
    EXPECT_EQ(connected.port, "/dev/ttyUSB7");
    EXPECT_EQ(connected.protocolVersion, 1);
    const auto first = sim.exchange(request(Command::sendText, "one"), Event::sent).packetID;
    EXPECT_LT(first, sim.exchange(request(Command::sendText, "two"), Event::sent).packetID);

    // Applied settings are what the next read returns, after the restart news.
    auto apply = request(Command::applyRadioSettings);
    apply.settings = MeshtasticRadioSettings::recommended();
    apply.settings->hopLimit = 6;
    EXPECT_EQ(sim.exchange(apply, Event::status).status, "Settings applied");
    for (const auto* status : {"Radio restarting", "Connected"}) EXPECT_EQ(sim.expectNext({}, Event::status).status, status);
    EXPECT_EQ(sim.exchange(request(Command::readRadioSettings), Event::radioSettings).settings, apply.settings);

    sim.sendRaw("this is not a request\n");
    sim.expectNext({}, Event::error);
    sim.exchange(request(Command::disconnect), Event::disconnected);
    sim.closeInput();
    EXPECT_EQ(sim.exitStatus(), 0);
    // Once at start and once before each of the seven replies; news has none.
    EXPECT_EQ(sim.stderrBytes(), 8 * kFlood);
}

TEST(BridgeSimTest, NoAnswerErrorsAndOptionsFromTheEnvironment) {
    // The environment supplies options; the command line overrides its version.
    // Unanswered requests count towards --exit-after; those after it go unread.
    SimProcess sim({"--protocol-version", "7"}, "--no-answer sendText --protocol-version 2 --exit-after 4 "
                                                "\"--error=readRadioSettings:radio busy\" --error disconnect");
    sim.send(request(Command::sendText, "lost"));
    EXPECT_EQ(sim.exchange(request(Command::connect), Event::connected).protocolVersion, 7);
    EXPECT_EQ(sim.exchange(request(Command::readRadioSettings), Event::error).error, "radio busy");
    const auto disconnect = sim.send(request(Command::disconnect));
    sim.send(request(Command::connect));
    EXPECT_FALSE(sim.expectNext(disconnect, Event::error).error.has_value());
    EXPECT_EQ(sim.exitStatus(), 3);
    EXPECT_FALSE(sim.nextLine(100ms).has_value());
}

TEST(BridgeSimTest, RepliesHeldReversedDelayedOrCutShortByAnExit) {
    SimProcess sim({"--reverse", "3", "--reply-delay", "150"});
    const auto start = Clock::now();
    const std::vector<Uuid> sent{sim.send(request(Command::connect)), sim.send(request(Command::sendText, "a"))};
    EXPECT_FALSE(sim.nextLine(200ms).has_value()) << "replies are held until three are pending";
    const auto third = sim.send(request(Command::readRadioSettings));
    for (const auto& id : {third, sent[1], sent[0]}) EXPECT_EQ(sim.nextResponse()->requestID, id);
    EXPECT_GE(Clock::now() - start, 350ms);

    SimProcess early({"--exit-after", "1", "--exit-before-answer"});
    early.send(request(Command::connect));
    EXPECT_EQ(early.exitStatus(), 3);
    EXPECT_FALSE(early.nextLine(100ms).has_value());
}

TEST(BridgeSimTest, ScriptPlaysAfterConnectAndLogKeepsRequests) {
    const auto dir = fs::temp_directory_path() / ("corvane-sim-" + std::to_string(QCoreApplication::applicationPid()));
    fs::create_directories(dir);
    std::ofstream(dir / "news.script") << "# a node, a status, a garbage line, then a crash\n"
        R"({"protocolVersion":1,"event":"localNode","localNodeID":42})" "\nsleep 50\n"
        R"({"protocolVersion":1,"event":"status","status":"Scripted"})" "\nraw not json\nstderr 100\nexit 9\n"
        R"({"protocolVersion":1,"event":"status","status":"never"})" "\n";
    SimProcess sim({"--script", QString::fromStdString((dir / "news.script").string()), "--log",
                    QString::fromStdString((dir / "requests.log").string())});
    const auto connect = request(Command::connect);
    sim.exchange(connect, Event::connected);
    EXPECT_EQ(sim.expectNext({}, Event::localNode).localNodeID, 42U);
    EXPECT_EQ(sim.expectNext({}, Event::status).status, "Scripted");
    EXPECT_EQ(sim.nextLine(), "not json");
    EXPECT_EQ(sim.exitStatus(), 9);
    EXPECT_FALSE(sim.nextLine(100ms).has_value());
    EXPECT_EQ(sim.stderrBytes(), 100);

    std::string logged;
    std::getline(std::ifstream(dir / "requests.log"), logged);
    EXPECT_EQ(decodeMeshtasticBridgeRequest(logged), connect);
    EXPECT_EQ(fs::status(dir / "requests.log").permissions(), fs::perms::owner_read | fs::perms::owner_write);
    fs::remove_all(dir);
}

TEST(BridgeSimTest, DemoMeshShowsNodesMessagesAndTheBikeRidingAway) {
    constexpr std::uint32_t kBike = 186443169;
    SimProcess sim({"--demo", "--speed", "25"});
    sim.exchange(request(Command::connect), Event::connected);
    std::set<std::uint32_t> nodes, localNodes;
    std::map<std::uint32_t, std::string> channels;
    std::map<std::pair<std::uint32_t, std::uint32_t>, int> deliveries;
    std::vector<MeshPosition> bike;
    int outsideInARow = 0, duplicated = 0;
    const auto deadline = Clock::now() + 6s;
    while (outsideInARow < 2 || duplicated == 0) {
        const auto news = sim.nextResponse(deadline - Clock::now());
        if (!news) break;
        EXPECT_FALSE(news->requestID.has_value());
        if (news->localNodeID) localNodes.insert(*news->localNodeID);
        if (news->channel) channels[*news->channel] = news->channelName.value_or("");
        if (news->message && ++deliveries[{news->message->sender, news->message->packetID}] == 2) ++duplicated;
        if (news->node) nodes.insert(news->node->number);
        if (!news->node || news->node->number != kBike || !news->node->position) continue;
        const auto& fix = *news->node->position;
        EXPECT_TRUE(bike.empty() || fix.timestamp > bike.back().timestamp) << "fixes must be newer than the mark";
        bike.push_back(fix);
        if (outsideInARow < 2) outsideInARow = MeshMath::distanceMeters(bike[0], fix) > 75.0 ? outsideInARow + 1 : 0;
    }
    EXPECT_EQ(localNodes.size(), 1U);
    EXPECT_EQ(channels, (std::map<std::uint32_t, std::string>{{0, "LongFast"}, {1, "Family"}}));
    EXPECT_GE(nodes.size(), 5U);
    EXPECT_EQ(outsideInARow, 2) << "two successive Bike fixes outside 75 m of its first one";
    EXPECT_EQ(duplicated, 1) << "one message is delivered twice under the same packet number";
    EXPECT_GE(deliveries.size(), 2U);
}

}  // namespace
}  // namespace corvane
