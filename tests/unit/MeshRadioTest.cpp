// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#include "app/MeshRadio.h"
#include "support/FakeBridgeProcess.h"
#include "support/ManualEventLoop.h"
#include "support/MeshRadioOutcome.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Kind = MeshRadioError::Kind;

// `fields` are the JSON members after "requestID", without braces.
std::string reply(const MeshtasticBridgeRequest& request, std::string_view fields) {
    return "{\"protocolVersion\":1,\"requestID\":\"" + request.requestID.string() + "\"," + std::string(fields) + "}\n";
}

std::string news(std::string_view fields) { return "{\"protocolVersion\":1," + std::string(fields) + "}\n"; }

void touch(const fs::path& path, fs::perms permissions) {
    std::ofstream(path).put('\n');
    fs::permissions(path, permissions);
}

class MeshRadioTest : public ::testing::Test {
protected:
    // The variables only steer this process's lookups; the destructor clears them.
    MeshRadioTest() {
        ::setenv("HALVO_MESHTASTIC_BRIDGE_PATH", bridgePath_.c_str(), 1);
        ::setenv("CORVANE_DEVICE_DIR", devices_.c_str(), 1);
        fs::remove_all(root_);
        fs::create_directories(devices_);
        touch(bridgePath_, fs::perms::owner_all);
        touch(devices_ / "ttyACM0", fs::perms::owner_read | fs::perms::owner_write);
        radio_->setStopHandler([this](const MeshRadioError& error) { stops_.push_back(error); });
    }
    ~MeshRadioTest() override {
        radio_.reset();
        fs::remove_all(root_);
        for (const char* name : {"HALVO_MESHTASTIC_BRIDGE_PATH", "CORVANE_DEVICE_DIR", "XDG_DATA_HOME"}) ::unsetenv(name);
    }

    MeshRadio::EventHandler recordEvents() {
        return [this](const MeshtasticBridgeResponse& response) { events_.push_back(response); };
    }

    // Hands `call` a completion and returns what that completion is given.
    template <typename T, typename Call>
    static Pending<T> recorded(Call call) {
        auto outcome = std::make_shared<Outcome<T>>();
        call([outcome](Result<T, MeshRadioError> value) { ++outcome->calls, outcome->result.emplace(std::move(value)); });
        return outcome;
    }
    Pending<std::string> connect(std::optional<std::string> port = std::nullopt) {
        return recorded<std::string>([&](auto done) { radio_->connect(port, recordEvents(), done); });
    }
    Pending<std::uint32_t> send(const std::string& text, std::optional<std::uint32_t> to = {}, std::uint32_t channel = 0) {
        return recorded<std::uint32_t>([&](auto done) { radio_->sendText(text, to, channel, done); });
    }
    Pending<Done> read() { return recorded<Done>([&](auto done) { radio_->requestRadioSettings(done); }); }
    Pending<Done> apply() {
        return recorded<Done>([&](auto done) { radio_->applyRadioSettings(MeshtasticRadioSettings::recommended(), done); });
    }
    Pending<Done> disconnect() { return recorded<Done>([&](auto done) { radio_->disconnect(done); }); }

    // A running bridge, connected to ttyACM0.
    FakeBridgeProcess::Child& connected() {
        const auto connecting = connect();
        loop_.runPending();
        auto& child = bridges_.last();
        child.output(reply(child.request(), "\"event\":\"connected\",\"port\":\"" + device("ttyACM0") + "\""));
        loop_.runPending();
        EXPECT_TRUE(connecting->succeeded());
        return child;
    }

    std::string device(const std::string& name) const { return (devices_ / name).string(); }

    const fs::path root_ = fs::temp_directory_path() / ("mesh-radio-test-" + std::to_string(::getpid()));
    const fs::path bridgePath_ = root_ / "bridge";
    const fs::path devices_ = root_ / "dev";
    ManualEventLoop loop_;
    FakeBridgeFactory bridges_;
    std::unique_ptr<MeshRadio> radio_ = std::make_unique<MeshRadio>(loop_, bridges_.factory());
    std::vector<MeshtasticBridgeResponse> events_;
    std::vector<MeshRadioError> stops_;
};

TEST_F(MeshRadioTest, ConnectPrefersTheGivenDeviceElseTheFirstSortedSupportedOne) {
    for (const auto* name : {"cu.usbserial-10", "cu.usbmodem1101", "ttyS0"}) touch(devices_ / name, fs::perms::owner_read);
    EXPECT_EQ(MeshRadio::availablePorts(),
              (std::vector<std::string>{device("cu.usbmodem1101"), device("cu.usbserial-10"), device("ttyACM0")}));

    const auto first = connect("/dev/none-such-device");
    EXPECT_EQ(first->calls, 0);
    auto& child = bridges_.last();
    EXPECT_EQ(child.executable, bridgePath_.string());
    EXPECT_EQ(child.arguments, (std::vector<std::string>{"serve", "--jsonl"}));
    const auto request = child.request();
    EXPECT_EQ(request.command, MeshtasticBridgeCommand::connect);
    EXPECT_EQ(request.port, device("cu.usbmodem1101"));
    child.output(reply(request, R"("event":"connected","port":"/dev/actual")"));
    ASSERT_TRUE(first->succeeded());
    EXPECT_EQ(first->result->value(), "/dev/actual");
    // The connect reply belongs to its requester only.
    EXPECT_TRUE(events_.empty());

    connect(device("ttyS0"));
    child.output(reply(child.request(), R"("event":"disconnected")"));
    EXPECT_EQ(child.terminateCount, 1);
    EXPECT_EQ(bridges_.last().request().port, device("ttyS0"));
}

TEST_F(MeshRadioTest, NoRadioFailsAfterStoppingTheEarlierBridge) {
    auto& first = connected();
    fs::remove(devices_ / "ttyACM0");
    const auto again = connect();
    EXPECT_EQ(first.request().command, MeshtasticBridgeCommand::disconnect);
    EXPECT_EQ(again->calls, 0);
    first.output(reply(first.request(), R"("event":"disconnected","status":"Bye")"));
    EXPECT_TRUE(again->failedWith(Kind::noRadio, "No Meshtastic USB radio was found."));
    EXPECT_EQ(first.terminateCount, 1);
    EXPECT_EQ(bridges_.children.size(), 1u);
    EXPECT_FALSE(radio_->isRunning());
}

TEST_F(MeshRadioTest, BridgeLookupSkipsEmptyAndNonExecutableCandidatesAndLaunchFailuresCarryThePlatformText) {
    const auto dataHome = root_ / "data";
    const auto installed = dataHome / "Halvo Corvane" / "Bridge" / "HalvoMeshtasticBridge";
    fs::create_directories(installed.parent_path());
    ::setenv("XDG_DATA_HOME", dataHome.c_str(), 1);

    EXPECT_EQ(MeshRadio::installedBridgeURL(), bridgePath_.string());
    {
        // A bare name is the file in the working folder, never one on PATH.
        const auto previous = fs::current_path();
        fs::current_path(root_);
        ::setenv("HALVO_MESHTASTIC_BRIDGE_PATH", "bridge", 1);
        const auto found = MeshRadio::installedBridgeURL();
        fs::current_path(previous);
        EXPECT_EQ(found, bridgePath_.string());
    }
    touch(installed, fs::perms::owner_all);
    ::setenv("HALVO_MESHTASTIC_BRIDGE_PATH", "", 1);
    EXPECT_EQ(MeshRadio::installedBridgeURL(), installed.string());
    ::setenv("HALVO_MESHTASTIC_BRIDGE_PATH", bridgePath_.c_str(), 1);
    fs::permissions(bridgePath_, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(MeshRadio::installedBridgeURL(), installed.string());
    EXPECT_EQ(MeshRadio::bridgeStatus(), "Installed");
    // Beside the application: after the user's own install, before the
    // system-wide places.
    const auto beside = root_ / "app" / "halvo-meshtastic-bridge";
    fs::create_directories(beside.parent_path());
    touch(beside, fs::perms::owner_all);
    MeshRadio::setApplicationFolder(beside.parent_path().string());
    EXPECT_EQ(MeshRadio::installedBridgeURL(), installed.string());
    fs::remove(installed);
    EXPECT_EQ(MeshRadio::installedBridgeURL(), beside.string());
    MeshRadio::setApplicationFolder("");
    touch(installed, fs::perms::owner_all);

    bridges_.nextStartFailure = "execve: Permission denied";
    const auto refused = connect();
    loop_.runPending();
    ASSERT_TRUE(refused->failedWith(Kind::launchFailed));
    EXPECT_EQ(refused->result->error().message(), "execve: Permission denied");
    EXPECT_FALSE(radio_->isRunning());
    EXPECT_TRUE(bridges_.last().destroyed);

    fs::remove(installed);
    fs::create_directories(installed);  // a folder is not an executable file
    if (MeshRadio::installedBridgeURL()) GTEST_SKIP() << "a system-wide bridge is installed on this machine";
    EXPECT_EQ(MeshRadio::bridgeStatus(), "Not installed");
    const auto missing = connect();
    loop_.runPending();
    EXPECT_TRUE(missing->failedWith(Kind::bridgeMissing, "Halvo Meshtastic Bridge is not installed. Install the "
                                                         "separate GPL bridge to use Meshtastic features."));
    EXPECT_EQ(bridges_.children.size(), 1u);
}

TEST_F(MeshRadioTest, ConnectAcceptsOnlyAConnectedReplyWithAPort) {
    const auto portless = connect();
    bridges_.last().output(reply(bridges_.last().request(), R"("event":"connected")"));
    EXPECT_TRUE(portless->failedWith(Kind::invalidBridgeReply, "Halvo Meshtastic Bridge returned an unreadable response."));
    EXPECT_TRUE(radio_->isRunning());

    const auto status = connect();
    auto& first = bridges_.last();
    first.output(reply(first.request(), R"("event":"disconnected")"));
    auto& child = bridges_.last();
    ASSERT_NE(&child, &first);
    child.output(reply(child.request(), R"("event":"status","status":"Busy","port":"/dev/x")"));
    EXPECT_TRUE(status->failedWith(Kind::invalidBridgeReply));
    // A status reply is news as well.
    EXPECT_EQ(events_.back().status, "Busy");
}

TEST_F(MeshRadioTest, ErrorRepliesFailTheRequestAndReachTheEventHandler) {
    auto& child = connected();
    const auto withText = send("hi");
    const auto sendRequest = child.request();
    const auto withoutText = apply();
    child.output(reply(sendRequest, R"("event":"error","error":"Radio busy")"));
    child.output(reply(child.request(), R"("event":"error")"));
    EXPECT_TRUE(withText->failedWith(Kind::bridge, "Radio busy"));
    EXPECT_TRUE(withoutText->failedWith(Kind::bridge, "Halvo Meshtastic Bridge reported an error."));
    ASSERT_EQ(events_.size(), 2u);
    EXPECT_EQ(events_[0].error, "Radio busy");
    EXPECT_EQ(events_[1].event, MeshtasticBridgeEvent::error);
    EXPECT_TRUE(radio_->isRunning());
}

TEST_F(MeshRadioTest, SendTextWritesOneLineAndReturnsThePacketNumber) {
    auto& child = connected();
    const auto broadcast = send("a/b", std::nullopt, 2);
    const auto direct = send("x", 305419896u);
    ASSERT_EQ(child.written.size(), 3u);
    const auto& line = child.written[1];
    EXPECT_EQ(line.find('\n'), line.size() - 1);
    EXPECT_NE(line.find(R"("text":"a\/b")"), std::string::npos);
    EXPECT_NE(line.find(R"("channel":2)"), std::string::npos);
    EXPECT_EQ(line.find("recipient"), std::string::npos);
    EXPECT_EQ(child.request().recipient, 305419896u);

    // Answered in reverse order: each gets its own reply.
    child.output(reply(child.request(-1), R"("event":"sent","packetID":22)"));
    child.output(reply(child.request(-2), R"("event":"sent","packetID":11)"));
    ASSERT_TRUE(broadcast->succeeded() && direct->succeeded());
    EXPECT_EQ(broadcast->result->value(), 11u);
    EXPECT_EQ(direct->result->value(), 22u);

    const auto noPacket = send("y");
    child.output(reply(child.request(), R"("event":"sent")"));
    EXPECT_TRUE(noPacket->failedWith(Kind::invalidBridgeReply));
    EXPECT_TRUE(events_.empty());
}

TEST_F(MeshRadioTest, RequestsTimeOutOnTheEventLoopAndLateRepliesFollowTheNewsRule) {
    const auto connecting = connect();
    auto& child = bridges_.last();
    loop_.advance(7999ms);
    EXPECT_EQ(connecting->calls, 0);
    loop_.advance(1ms);
    EXPECT_TRUE(connecting->failedWith(Kind::requestTimedOut, "Halvo Meshtastic Bridge did not answer in time."));
    EXPECT_TRUE(radio_->isRunning());
    EXPECT_EQ(child.terminateCount, 0);

    const auto sent = send("late");
    const auto sendRequest = child.request();
    loop_.advance(1s);
    const auto settings = read();
    const auto readRequest = child.request();
    const auto applied = apply();
    loop_.advance(4s);
    EXPECT_TRUE(sent->failedWith(Kind::requestTimedOut));
    EXPECT_EQ(settings->calls, 0);
    loop_.advance(1s);
    EXPECT_TRUE(settings->failedWith(Kind::requestTimedOut));
    EXPECT_TRUE(applied->failedWith(Kind::requestTimedOut));

    child.output(reply(sendRequest, R"("event":"sent","packetID":5)"));
    child.output(reply(child.request(0), R"("event":"connected","port":"/dev/x")"));
    EXPECT_TRUE(events_.empty());
    child.output(reply(readRequest,
                       R"("event":"radioSettings","settings":{"usePreset":true,"region":"eu868","modemPreset":)"
                       R"("longFast","hopLimit":3,"channelNum":0,"txEnabled":true,"txPower":0,"rxBoostedGain":false,)"
                       R"("overrideDutyCycle":false,"overrideFrequency":0})"));
    ASSERT_EQ(events_.size(), 1u);
    EXPECT_TRUE(events_[0].settings.has_value());
    EXPECT_TRUE(sent->calls == 1 && settings->calls == 1);
    EXPECT_EQ(loop_.activeTimerCount(), 0u);
}

TEST_F(MeshRadioTest, ADuplicateReplyIsTreatedAsNews) {
    auto& child = connected();
    const auto settings = read();
    const auto readRequest = child.request();
    const auto sent = send("t");
    for (int i = 0; i < 2; ++i) {
        child.output(reply(readRequest, R"("event":"radioSettings")"));
        child.output(reply(child.request(), R"("event":"sent","packetID":9)"));
    }
    EXPECT_TRUE(settings->calls == 1 && sent->calls == 1);
    EXPECT_EQ(events_.size(), 2u);
    // Unsolicited connected and sent lines are news too.
    child.output(news(R"("event":"sent","packetID":1)") + news(R"("event":"connected")"));
    EXPECT_EQ(events_.size(), 4u);
}

TEST_F(MeshRadioTest, UndecodableAndOverlongLinesAreDroppedSilently) {
    auto& child = connected();
    child.output("not json\n{\"event\":\"status\",\"status\":\"no version\"}\n" + news(R"("event":"bogus")"));
    child.output(news(R"("event":"status","status":")" + std::string(1 << 20, 'x') + "\""));
    child.output(news(R"("event":"status","status":"fine")"));
    ASSERT_EQ(events_.size(), 1u);
    EXPECT_EQ(events_[0].status, "fine");
    EXPECT_TRUE(radio_->isRunning());
    EXPECT_TRUE(stops_.empty());
}

TEST_F(MeshRadioTest, AnotherProtocolVersionStopsTheBridgeAndFailsEveryPendingRequest) {
    auto& child = connected();
    const auto sent = send("a");
    const auto settings = read();
    child.output("{\"protocolVersion\":2,\"event\":\"ready\"}\n");
    const std::string text = "Halvo Meshtastic Bridge uses an incompatible protocol version.";
    EXPECT_TRUE(sent->failedWith(Kind::bridge, text));
    EXPECT_TRUE(settings->failedWith(Kind::bridge));
    EXPECT_EQ(child.terminateCount, 1);
    EXPECT_TRUE(events_.empty());
    EXPECT_EQ(stops_, std::vector<MeshRadioError>{MeshRadioError::bridge(text)});

    // Lines the old child still had in its pipe go nowhere.
    child.output(news(R"("event":"status","status":"x")"));
    EXPECT_TRUE(events_.empty());
    const auto later = send("b");
    EXPECT_EQ(later->calls, 0);
    loop_.runPending();
    EXPECT_TRUE(later->failedWith(Kind::bridgeStopped));
}

TEST_F(MeshRadioTest, ExitFailsPendingRequestsAndLaterRequestsAtOnce) {
    auto& child = connected();
    const auto first = send("a");
    const auto second = apply();
    // A reply written just before the exit still counts.
    child.output(reply(child.request(-2), R"("event":"sent","packetID":4)"));
    child.exit();
    EXPECT_TRUE(first->succeeded());
    EXPECT_TRUE(second->failedWith(Kind::bridgeStopped, "Halvo Meshtastic Bridge stopped unexpectedly."));
    ASSERT_EQ(stops_.size(), 1u);
    EXPECT_EQ(stops_[0].kind(), Kind::bridgeStopped);
    EXPECT_FALSE(radio_->isRunning());

    const auto writtenBefore = child.written.size();
    const auto later = send("b");
    loop_.runPending();
    EXPECT_TRUE(later->failedWith(Kind::bridgeStopped));
    EXPECT_EQ(child.written.size(), writtenBefore);
    // The exited child is released once its notice has returned.
    EXPECT_TRUE(child.destroyed);
}

TEST_F(MeshRadioTest, ReadAndWriteFailures) {
    auto& child = connected();
    child.writeFailure = "Broken pipe";
    const auto sent = send("a");
    EXPECT_EQ(sent->calls, 0);
    loop_.runPending();
    ASSERT_TRUE(sent->failedWith(Kind::writeFailed));
    EXPECT_NE(sent->result->error().description().find("Broken pipe"), std::string::npos);
    EXPECT_EQ(loop_.activeTimerCount(), 0u);
    EXPECT_TRUE(radio_->isRunning());

    // A refusal noticed after writeLine() returned stops the bridge at once.
    const auto pending = send("b");
    child.notices.onWriteFailure("Broken pipe");
    EXPECT_TRUE(pending->failedWith(Kind::writeFailed));
    EXPECT_EQ(stops_, std::vector<MeshRadioError>{MeshRadioError::writeFailed("Broken pipe")});
    EXPECT_FALSE(radio_->isRunning());
    stops_.clear();
    auto& second = connected();

    const auto settings = read();
    second.readFailure("");  // the platform gave no text: the sentence still ends
    EXPECT_TRUE(settings->failedWith(Kind::readFailed, "Could not read from Halvo Meshtastic Bridge."));
    EXPECT_EQ(stops_, std::vector<MeshRadioError>{MeshRadioError::readFailed("")});
    EXPECT_EQ(second.terminateCount, 1);
    EXPECT_FALSE(radio_->isRunning());
}

TEST_F(MeshRadioTest, DisconnectAsksTheBridgeThenStopsAndCancelsWhatIsPending) {
    const auto idle = disconnect();
    EXPECT_EQ(idle->calls, 0);
    loop_.runPending();
    EXPECT_TRUE(idle->succeeded());
    EXPECT_TRUE(bridges_.children.empty());

    auto& child = connected();
    const auto sent = send("a");
    const auto disconnected = disconnect();
    EXPECT_EQ(child.request().command, MeshtasticBridgeCommand::disconnect);
    EXPECT_TRUE(radio_->isRunning());
    // Never answered: after 2 s the bridge is stopped anyway.
    loop_.advance(1999ms);
    EXPECT_EQ(disconnected->calls, 0);
    loop_.advance(1ms);
    EXPECT_TRUE(disconnected->succeeded());
    EXPECT_TRUE(sent->failedWith(Kind::cancelled));
    EXPECT_EQ(child.terminateCount, 1);
    EXPECT_FALSE(radio_->isRunning());
    // Asked for: not an unexpected stop, also not when the child then exits.
    child.exit();
    loop_.runPending();
    EXPECT_TRUE(stops_.empty());
}

TEST_F(MeshRadioTest, NoticesOfAnOldChildNeverTouchTheNewOne) {
    auto& oldChild = connected();
    const auto reconnect = connect();
    oldChild.output(reply(oldChild.request(), R"("event":"disconnected")"));
    auto& newChild = bridges_.last();
    ASSERT_NE(&newChild, &oldChild);
    const auto sent = send("a");
    const auto eventsBefore = events_.size();

    oldChild.output("{\"protocolVersion\":2,\"event\":\"ready\"}\n" + news(R"("event":"ready")"));
    oldChild.readFailure("gone");
    oldChild.exit();
    loop_.runPending();
    EXPECT_EQ(events_.size(), eventsBefore);
    EXPECT_TRUE(stops_.empty());
    EXPECT_TRUE(radio_->isRunning());
    EXPECT_TRUE(sent->calls == 0 && reconnect->calls == 0);

    newChild.output(reply(newChild.request(0), R"("event":"connected","port":"/dev/p")"));
    newChild.output(reply(newChild.request(1), R"("event":"sent","packetID":1)"));
    EXPECT_EQ(reconnect->result->value(), "/dev/p");
    EXPECT_EQ(sent->result->value(), 1u);
}

TEST_F(MeshRadioTest, DestroyingTheRadioEndsTheChildWithoutCallingBack) {
    auto& child = connected();
    const auto sent = send("a");
    radio_.reset();
    EXPECT_GE(child.terminateCount, 1);
    EXPECT_TRUE(child.destroyed);
    loop_.advance(10s);
    EXPECT_EQ(sent->calls, 0);
    EXPECT_EQ(loop_.activeTimerCount(), 0u);
}

TEST_F(MeshRadioTest, TheEventHandlerMayCallBackIntoTheRadio) {
    auto& child = connected();
    std::vector<std::string> seen;
    const auto reconnect = recorded<std::string>([&](auto done) {
        radio_->connect(std::nullopt, [&](const MeshtasticBridgeResponse& response) {
            seen.push_back(response.status.value_or(""));
            if (seen.size() == 1) send("from handler");
        }, done);
    });
    child.output(reply(child.request(), R"("event":"disconnected","status":"one")"));
    auto& next = bridges_.last();
    next.output(reply(next.request(0), R"("event":"connected","port":"/dev/p")"));
    next.output(news(R"("event":"status","status":"two")"));
    EXPECT_EQ(seen, (std::vector<std::string>{"one", "two"}));
    EXPECT_EQ(next.request(1).text, "from handler");
    EXPECT_EQ(reconnect->result->value(), "/dev/p");
}

}  // namespace
}  // namespace corvane
