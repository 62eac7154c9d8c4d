// Drives the real corvane-bridge-sim executable over pipes. Every wait is a
// poll() against a deadline of a few seconds; the child is killed and reaped
// by the fixture whatever the test's outcome.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <numbers>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/LineSplitter.h"
#include "core/MeshtasticBridgeRequest.h"
#include "core/MeshtasticBridgeResponse.h"

extern char** environ;

namespace corvane {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kBikeNodeNumber = 186443169;

std::string simPath() {
    const char* bin = std::getenv("CORVANE_BUILD_BIN");
    return std::string(bin ? bin : ".") + "/corvane-bridge-sim";
}

class SimProcess {
public:
    explicit SimProcess(std::vector<std::string> options, std::optional<std::string> envOptions = std::nullopt) {
        std::array<int, 2> in{};
        std::array<int, 2> out{};
        std::array<int, 2> err{};
        if (::pipe2(in.data(), O_CLOEXEC) != 0 || ::pipe2(out.data(), O_CLOEXEC) != 0 ||
            ::pipe2(err.data(), O_CLOEXEC) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);

        std::vector<std::string> arguments{simPath(), "serve", "--jsonl"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        std::vector<std::string> environment;
        for (char** entry = environ; *entry != nullptr; ++entry) {
            if (!std::string_view(*entry).starts_with("CORVANE_BRIDGE_SIM_ARGS=")) environment.emplace_back(*entry);
        }
        if (envOptions) environment.push_back("CORVANE_BRIDGE_SIM_ARGS=" + *envOptions);
        std::vector<char*> argv;
        std::vector<char*> envp;
        for (auto& a : arguments) argv.push_back(a.data());
        for (auto& e : environment) envp.push_back(e.data());
        argv.push_back(nullptr);
        envp.push_back(nullptr);

        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        ::close(err[1]);
        input_ = in[1];
        output_ = out[0];
        error_ = err[0];
    }

    ~SimProcess() {
        closeInput();
        if (pid_ > 0 && !exitStatus_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (output_ >= 0) ::close(output_);
        if (error_ >= 0) ::close(error_);
    }

    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    bool started() const { return pid_ > 0; }

    Uuid send(MeshtasticBridgeRequest request) {
        const auto line = encodeLine(request);
        EXPECT_TRUE(line.has_value());
        if (line) sendRaw(*line);
        return request.requestID;
    }

    void sendRaw(std::string_view bytes) {
        while (!bytes.empty() && input_ >= 0) {
            const auto written = ::write(input_, bytes.data(), bytes.size());
            if (written <= 0) return;
            bytes.remove_prefix(static_cast<std::size_t>(written));
        }
    }

    void closeInput() {
        if (input_ >= 0) ::close(input_);
        input_ = -1;
    }

    // The next complete line of standard output, or nothing by the deadline.
    std::optional<std::string> nextLine(Clock::duration timeout = 3s) {
        const auto deadline = Clock::now() + timeout;
        while (lines_.empty() && pump(deadline)) {
        }
        if (lines_.empty()) return std::nullopt;
        auto line = std::move(lines_.front());
        lines_.pop_front();
        return line;
    }

    std::optional<MeshtasticBridgeResponse> nextResponse(Clock::duration timeout = 3s) {
        const auto deadline = Clock::now() + timeout;
        while (Clock::now() < deadline) {
            const auto line = nextLine(deadline - Clock::now());
            if (!line) return std::nullopt;
            if (auto response = decodeMeshtasticBridgeResponse(*line)) return response;
        }
        return std::nullopt;
    }

    // Exit status once the child has ended, reading its output meanwhile.
    std::optional<int> exitStatus(Clock::duration timeout = 3s) {
        const auto deadline = Clock::now() + timeout;
        while (!exitStatus_ && pid_ > 0) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                break;
            }
            if (Clock::now() >= deadline) break;
            pump(std::min(deadline, Clock::now() + 10ms));
        }
        return exitStatus_;
    }

    std::size_t stderrBytes() const { return stderrBytes_; }

private:
    // Waits for output until the deadline; false once nothing more can come.
    bool pump(Clock::time_point deadline) {
        std::array<pollfd, 2> fds{pollfd{output_, POLLIN, 0}, pollfd{error_, POLLIN, 0}};
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0 || (output_ < 0 && error_ < 0)) return false;
        if (::poll(fds.data(), fds.size(), static_cast<int>(left)) <= 0) return Clock::now() < deadline;
        std::array<char, 65536> buffer{};
        if (fds[1].revents != 0) {
            const auto count = ::read(error_, buffer.data(), buffer.size());
            if (count > 0) stderrBytes_ += static_cast<std::size_t>(count);
            if (count == 0) error_ = (::close(error_), -1);
        }
        if (fds[0].revents != 0) {
            const auto count = ::read(output_, buffer.data(), buffer.size());
            if (count > 0) {
                splitter_.feed(std::string_view(buffer.data(), static_cast<std::size_t>(count)),
                               [this](std::string_view line) { lines_.emplace_back(line); });
            } else {
                splitter_.finish([this](std::string_view line) { lines_.emplace_back(line); });
                output_ = (::close(output_), -1);
                return false;
            }
        }
        return true;
    }

    pid_t pid_ = -1;
    int input_ = -1;
    int output_ = -1;
    int error_ = -1;
    std::optional<int> exitStatus_;
    std::size_t stderrBytes_ = 0;
    LineSplitter splitter_;
    std::deque<std::string> lines_;
};

MeshtasticBridgeRequest request(MeshtasticBridgeCommand command) { return MeshtasticBridgeRequest(command); }

MeshtasticBridgeRequest connectRequest(std::string port = "/dev/ttyACM0") {
    auto connect = request(MeshtasticBridgeCommand::connect);
    connect.port = std::move(port);
    return connect;
}

MeshtasticBridgeRequest textRequest(std::string text) {
    auto send = request(MeshtasticBridgeCommand::sendText);
    send.text = std::move(text);
    send.channel = 0;
    return send;
}

double distanceMeters(const MeshPosition& a, const MeshPosition& b) {
    const auto radians = [](double degrees) { return degrees * std::numbers::pi / 180.0; };
    const double dLat = radians(b.latitude - a.latitude);
    const double dLon = radians(b.longitude - a.longitude);
    const double h = std::pow(std::sin(dLat / 2), 2) +
                     std::cos(radians(a.latitude)) * std::cos(radians(b.latitude)) * std::pow(std::sin(dLon / 2), 2);
    return 12742000.0 * std::atan2(std::sqrt(h), std::sqrt(1 - h));
}

TEST(BridgeSimTest, AnswersEveryCommandAndEchoesTheRequestID) {
    SimProcess sim({"--speed", "50"});
    ASSERT_TRUE(sim.started());

    const auto connectID = sim.send(connectRequest("/dev/ttyUSB7"));
    auto reply = sim.nextResponse();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->event, MeshtasticBridgeEvent::connected);
    EXPECT_EQ(reply->requestID, connectID);
    EXPECT_EQ(reply->port, "/dev/ttyUSB7");
    EXPECT_EQ(reply->protocolVersion, 1);

    std::vector<std::uint32_t> packets;
    for (const auto* text : {"one", "two"}) {
        const auto id = sim.send(textRequest(text));
        reply = sim.nextResponse();
        ASSERT_TRUE(reply && reply->packetID);
        EXPECT_EQ(reply->event, MeshtasticBridgeEvent::sent);
        EXPECT_EQ(reply->requestID, id);
        packets.push_back(*reply->packetID);
    }
    EXPECT_LT(packets[0], packets[1]);

    // Applied settings are what the next read returns, after the restart news.
    auto settings = MeshtasticRadioSettings::recommended();
    settings.hopLimit = 6;
    auto apply = request(MeshtasticBridgeCommand::applyRadioSettings);
    apply.settings = settings;
    const auto applyID = sim.send(apply);
    reply = sim.nextResponse();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->requestID, applyID);
    EXPECT_NE(reply->event, MeshtasticBridgeEvent::error);
    std::vector<std::string> restartNews;
    for (int i = 0; i < 2; ++i) {
        const auto news = sim.nextResponse();
        ASSERT_TRUE(news && news->status);
        EXPECT_FALSE(news->requestID.has_value());
        EXPECT_EQ(news->event, MeshtasticBridgeEvent::status);
        restartNews.push_back(*news->status);
    }
    EXPECT_EQ(restartNews, (std::vector<std::string>{"Radio restarting", "Connected"}));

    const auto readID = sim.send(request(MeshtasticBridgeCommand::readRadioSettings));
    reply = sim.nextResponse();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->event, MeshtasticBridgeEvent::radioSettings);
    EXPECT_EQ(reply->requestID, readID);
    EXPECT_EQ(reply->settings, settings);

    sim.sendRaw("this is not a request\n");
    reply = sim.nextResponse();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->event, MeshtasticBridgeEvent::error);
    EXPECT_FALSE(reply->requestID.has_value());

    const auto disconnectID = sim.send(request(MeshtasticBridgeCommand::disconnect));
    reply = sim.nextResponse();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->event, MeshtasticBridgeEvent::disconnected);
    EXPECT_EQ(reply->requestID, disconnectID);

    sim.closeInput();
    EXPECT_EQ(sim.exitStatus(), 0);
}

TEST(BridgeSimTest, NoAnswerErrorAndProtocolVersionFromTheEnvironment) {
    // The environment supplies options; the command line overrides its version.
    SimProcess sim({"--protocol-version", "7"},
                   "--no-answer sendText --protocol-version 2 \"--error=readRadioSettings:radio busy\" "
                   "--error disconnect");
    ASSERT_TRUE(sim.started());

    sim.send(textRequest("lost"));
    const auto connectID = sim.send(connectRequest());
    auto reply = sim.nextResponse();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->requestID, connectID) << "sendText must stay unanswered";
    EXPECT_EQ(reply->protocolVersion, 7);

    sim.send(request(MeshtasticBridgeCommand::readRadioSettings));
    reply = sim.nextResponse();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->event, MeshtasticBridgeEvent::error);
    EXPECT_EQ(reply->error, "radio busy");

    sim.send(request(MeshtasticBridgeCommand::disconnect));
    reply = sim.nextResponse();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->event, MeshtasticBridgeEvent::error);
    EXPECT_FALSE(reply->error.has_value());

    sim.closeInput();
    EXPECT_FALSE(sim.nextLine(300ms).has_value());
}

TEST(BridgeSimTest, ReverseOrderAndDelay) {
    SimProcess sim({"--reverse", "3", "--reply-delay", "150"});
    ASSERT_TRUE(sim.started());
    const auto start = Clock::now();
    std::vector<Uuid> sent;
    sent.push_back(sim.send(connectRequest()));
    sent.push_back(sim.send(textRequest("a")));
    EXPECT_FALSE(sim.nextLine(200ms).has_value()) << "replies are held until three are pending";
    sent.push_back(sim.send(request(MeshtasticBridgeCommand::readRadioSettings)));

    std::vector<Uuid> answered;
    for (int i = 0; i < 3; ++i) {
        const auto reply = sim.nextResponse();
        ASSERT_TRUE(reply && reply->requestID);
        answered.push_back(*reply->requestID);
    }
    EXPECT_EQ(answered, (std::vector<Uuid>{sent[2], sent[1], sent[0]}));
    EXPECT_GE(Clock::now() - start, 350ms);
}

TEST(BridgeSimTest, ExitAfterTheNthRequest) {
    {
        SimProcess sim({"--exit-after", "2"});
        ASSERT_TRUE(sim.started());
        sim.send(connectRequest());
        const auto second = sim.send(textRequest("last words"));
        sim.send(request(MeshtasticBridgeCommand::readRadioSettings));
        ASSERT_TRUE(sim.nextResponse());
        const auto reply = sim.nextResponse();
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->requestID, second);
        EXPECT_EQ(sim.exitStatus(), 3);
        EXPECT_FALSE(sim.nextLine(100ms).has_value());
    }
    {
        SimProcess sim({"--exit-after", "1", "--exit-before-answer"});
        ASSERT_TRUE(sim.started());
        sim.send(connectRequest());
        EXPECT_EQ(sim.exitStatus(), 3);
        EXPECT_FALSE(sim.nextLine(100ms).has_value());
    }
}

TEST(BridgeSimTest, ScriptPlaysAfterConnectAndLogKeepsRequests) {
    const auto dir = std::filesystem::temp_directory_path() / ("corvane-sim-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto script = dir / "news.script";
    const auto log = dir / "requests.log";
    {
        std::ofstream file(script);
        file << "# a node, a duplicate message, a garbage line, then a crash\n"
                R"({"protocolVersion":1,"event":"localNode","localNodeID":42})" "\n"
                "sleep 50\n"
                R"({"protocolVersion":1,"event":"status","status":"Scripted"})" "\n"
                "raw not json\n"
                "stderr 100\n"
                "exit 9\n"
                R"({"protocolVersion":1,"event":"status","status":"never"})" "\n";
    }
    SimProcess sim({"--script", script.string(), "--log", log.string()});
    ASSERT_TRUE(sim.started());
    sim.send(connectRequest());
    EXPECT_EQ(sim.nextResponse()->event, MeshtasticBridgeEvent::connected);
    const auto local = sim.nextResponse();
    ASSERT_TRUE(local);
    EXPECT_EQ(local->localNodeID, 42U);
    EXPECT_EQ(sim.nextResponse()->status, "Scripted");
    EXPECT_EQ(sim.nextLine(), "not json");
    EXPECT_EQ(sim.exitStatus(), 9);
    EXPECT_FALSE(sim.nextLine(100ms).has_value());
    EXPECT_EQ(sim.stderrBytes(), 100U);

    std::ifstream logged(log);
    std::string line;
    ASSERT_TRUE(std::getline(logged, line));
    const auto decoded = decodeMeshtasticBridgeRequest(line);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->command, MeshtasticBridgeCommand::connect);
    EXPECT_EQ(std::filesystem::status(log).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    std::filesystem::remove_all(dir);
}

TEST(BridgeSimTest, NoisyOutputStillCarriesEveryReply) {
    constexpr std::size_t kFlood = 300 * 1024;  // beyond a pipe's buffer
    SimProcess sim({"--garbage", "--oversized", std::to_string(2 << 20), "--stderr-flood", std::to_string(kFlood)});
    ASSERT_TRUE(sim.started());
    const auto connectID = sim.send(connectRequest());
    const auto sendID = sim.send(textRequest("x"));
    std::vector<MeshtasticBridgeResponse> replies;
    for (int i = 0; i < 2; ++i) {
        const auto reply = sim.nextResponse(4s);
        ASSERT_TRUE(reply);
        replies.push_back(*reply);
    }
    // Undecodable noise is skipped by nextResponse; the 2 MiB line is dropped
    // by the splitter, so only the replies decode.
    EXPECT_EQ(replies[0].requestID, connectID);
    EXPECT_EQ(replies[1].requestID, sendID);
    EXPECT_EQ(replies[1].event, MeshtasticBridgeEvent::sent);
    sim.closeInput();
    EXPECT_EQ(sim.exitStatus(), 0);
    EXPECT_EQ(sim.stderrBytes(), 3 * kFlood);
}

TEST(BridgeSimTest, DemoMeshShowsNodesMessagesAndTheBikeRidingAway) {
    SimProcess sim({"--demo", "--speed", "25"});
    ASSERT_TRUE(sim.started());
    sim.send(connectRequest());
    ASSERT_EQ(sim.nextResponse()->event, MeshtasticBridgeEvent::connected);

    std::set<std::uint32_t> nodes;
    std::map<std::uint32_t, std::string> channels;
    std::optional<std::uint32_t> localNode;
    std::optional<MeshPosition> parked;
    std::optional<Timestamp> lastBikeFix;
    int outsideInARow = 0;
    bool moved = false;
    std::map<std::pair<std::uint32_t, std::uint32_t>, int> deliveries;
    int duplicated = 0;
    const auto deadline = Clock::now() + 6s;
    while (Clock::now() < deadline && !(moved && duplicated > 0)) {
        const auto news = sim.nextResponse(deadline - Clock::now());
        if (!news) break;
        EXPECT_FALSE(news->requestID.has_value());
        if (news->localNodeID) localNode = news->localNodeID;
        if (news->channel) channels[*news->channel] = news->channelName.value_or("");
        if (news->message && ++deliveries[{news->message->sender, news->message->packetID}] == 2) ++duplicated;
        if (!news->node) continue;
        nodes.insert(news->node->number);
        if (news->node->number != kBikeNodeNumber || !news->node->position) continue;
        const auto& fix = *news->node->position;
        if (lastBikeFix) {
            EXPECT_GT(fix.timestamp, *lastBikeFix) << "fixes must be newer than the mark";
        }
        lastBikeFix = fix.timestamp;
        if (!parked) {
            parked = fix;
            continue;
        }
        outsideInARow = distanceMeters(*parked, fix) > 75.0 ? outsideInARow + 1 : 0;
        moved = moved || outsideInARow >= 2;
    }
    EXPECT_TRUE(localNode.has_value());
    EXPECT_EQ(channels[0], "LongFast");
    EXPECT_EQ(channels[1], "Family");
    EXPECT_GE(nodes.size(), 5U);
    EXPECT_TRUE(moved) << "two successive Bike fixes outside 75 m of its first one";
    EXPECT_EQ(duplicated, 1) << "one message is delivered twice under the same packet number";
    EXPECT_GE(deliveries.size(), 2U);
}

}  // namespace
}  // namespace corvane
