#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/MeshRadio.h"
#include "support/FakeBridgeProcess.h"
#include "support/ManualEventLoop.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Kind = MeshRadioError::Kind;

template <typename T>
struct Outcome {
    std::optional<Result<T, MeshRadioError>> result;
    int calls = 0;

    MeshRadio::Completion<T> callback() {
        return [this](Result<T, MeshRadioError> value) {
            ++calls;
            result.emplace(std::move(value));
        };
    }
    bool failedWith(Kind kind) const { return calls == 1 && !result->ok() && result->error().kind() == kind; }
};

// `fields` are the JSON members after "requestID", without braces.
std::string reply(const MeshtasticBridgeRequest& request, std::string_view fields, int version = 1) {
    return "{\"protocolVersion\":" + std::to_string(version) + ",\"requestID\":\"" + request.requestID.string() +
           "\"," + std::string(fields) + "}\n";
}

void touch(const fs::path& path, fs::perms permissions) {
    std::ofstream(path).put('\n');
    fs::permissions(path, permissions);
}

class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (old_) ::setenv(name_, old_->c_str(), 1);
        else ::unsetenv(name_);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

class MeshRadioTest : public ::testing::Test {
protected:
    MeshRadioTest()
        : root_(fs::temp_directory_path() / ("mesh-radio-test-" + std::to_string(::getpid()))),
          bridgePath_(root_ / "bridge"),
          devices_(root_ / "dev"),
          bridgeEnv_("HALVO_MESHTASTIC_BRIDGE_PATH", bridgePath_.string()),
          deviceEnv_("CORVANE_DEVICE_DIR", devices_.string()) {
        fs::remove_all(root_);
        fs::create_directories(devices_);
        touch(bridgePath_, fs::perms::owner_all);
        touch(devices_ / "ttyACM0", fs::perms::owner_read | fs::perms::owner_write);
        radio_ = std::make_unique<MeshRadio>(loop_, bridges_.factory());
        radio_->setStopHandler([this](const MeshRadioError& error) { stops_.push_back(error); });
    }
    ~MeshRadioTest() override {
        radio_.reset();
        fs::remove_all(root_);
    }

    MeshRadio::EventHandler recordEvents() {
        return [this](const MeshtasticBridgeResponse& response) { events_.push_back(response); };
    }

    // A running bridge, connected to ttyACM0.
    FakeBridgeProcess::Child& connected() {
        Outcome<std::string> connect;
        radio_->connect(std::nullopt, recordEvents(), connect.callback());
        loop_.runPending();
        auto& child = bridges_.last();
        child.output(reply(child.request(), "\"event\":\"connected\",\"port\":\"" + device("ttyACM0") + "\""));
        loop_.runPending();
        EXPECT_TRUE(connect.calls == 1 && connect.result->ok());
        return child;
    }

    std::string device(const std::string& name) const { return (devices_ / name).string(); }

    fs::path root_;
    fs::path bridgePath_;
    fs::path devices_;
    ScopedEnv bridgeEnv_;
    ScopedEnv deviceEnv_;
    ManualEventLoop loop_;
    FakeBridgeFactory bridges_;
    std::unique_ptr<MeshRadio> radio_;
    std::vector<MeshtasticBridgeResponse> events_;
    std::vector<MeshRadioError> stops_;
};

TEST_F(MeshRadioTest, ConnectPrefersTheGivenDeviceElseTheFirstSortedSupportedOne) {
    touch(devices_ / "cu.usbserial-10", fs::perms::owner_read);
    touch(devices_ / "cu.usbmodem1101", fs::perms::owner_read);
    touch(devices_ / "ttyS0", fs::perms::owner_read);
    EXPECT_EQ(MeshRadio::availablePorts(),
              (std::vector<std::string>{device("cu.usbmodem1101"), device("cu.usbserial-10"), device("ttyACM0")}));

    Outcome<std::string> connect;
    radio_->connect("/dev/none-such-device", recordEvents(), connect.callback());
    EXPECT_EQ(connect.calls, 0);
    auto& child = bridges_.last();
    EXPECT_EQ(child.executable, bridgePath_.string());
    EXPECT_EQ(child.arguments, (std::vector<std::string>{"serve", "--jsonl"}));
    const auto request = child.request();
    EXPECT_EQ(request.command, MeshtasticBridgeCommand::connect);
    EXPECT_EQ(request.port, device("cu.usbmodem1101"));
    child.output(reply(request, R"("event":"connected","port":"/dev/actual")"));
    ASSERT_EQ(connect.calls, 1);
    EXPECT_EQ(connect.result->value(), "/dev/actual");
    // The connect reply belongs to its requester only.
    EXPECT_TRUE(events_.empty());

    Outcome<std::string> again;
    radio_->connect(device("ttyS0"), recordEvents(), again.callback());
    child.output(reply(child.request(), R"("event":"disconnected")"));
    EXPECT_EQ(child.terminateCount, 1);
    EXPECT_EQ(bridges_.last().request().port, device("ttyS0"));
}

TEST_F(MeshRadioTest, NoRadioFailsAfterStoppingTheEarlierBridge) {
    auto& first = connected();
    fs::remove(devices_ / "ttyACM0");
    Outcome<std::string> connect;
    radio_->connect(std::nullopt, recordEvents(), connect.callback());
    EXPECT_EQ(first.request().command, MeshtasticBridgeCommand::disconnect);
    EXPECT_EQ(connect.calls, 0);
    first.output(reply(first.request(), R"("event":"disconnected","status":"Bye")"));
    EXPECT_TRUE(connect.failedWith(Kind::noRadio));
    EXPECT_EQ(connect.result->error().description(), "No Meshtastic USB radio was found.");
    EXPECT_EQ(first.terminateCount, 1);
    EXPECT_EQ(bridges_.children.size(), 1u);
    EXPECT_FALSE(radio_->isRunning());
    // The disconnect reply is news like any other non-connect reply.
    ASSERT_EQ(events_.size(), 1u);
    EXPECT_EQ(events_[0].status, "Bye");
}

TEST_F(MeshRadioTest, BridgeLookupSkipsEmptyAndNonExecutableCandidates) {
    const auto dataHome = root_ / "data";
    const auto installed = dataHome / "Halvo Corvane" / "Bridge" / "HalvoMeshtasticBridge";
    fs::create_directories(installed.parent_path());
    ScopedEnv xdg("XDG_DATA_HOME", dataHome.string());

    EXPECT_EQ(MeshRadio::installedBridgeURL(), bridgePath_.string());
    touch(installed, fs::perms::owner_all);
    {
        ScopedEnv empty("HALVO_MESHTASTIC_BRIDGE_PATH", "");
        EXPECT_EQ(MeshRadio::installedBridgeURL(), installed.string());
    }
    fs::permissions(bridgePath_, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(MeshRadio::installedBridgeURL(), installed.string());
    EXPECT_EQ(MeshRadio::bridgeStatus(), "Installed");

    fs::remove(installed);
    fs::create_directories(installed);  // a folder is not an executable file
    if (MeshRadio::installedBridgeURL()) GTEST_SKIP() << "a system-wide bridge is installed on this machine";
    EXPECT_EQ(MeshRadio::bridgeStatus(), "Not installed");
    Outcome<std::string> connect;
    radio_->connect(std::nullopt, recordEvents(), connect.callback());
    loop_.runPending();
    EXPECT_TRUE(connect.failedWith(Kind::bridgeMissing));
    EXPECT_EQ(connect.result->error().description(),
              "Halvo Meshtastic Bridge is not installed. Install the separate GPL bridge to use Meshtastic features.");
    EXPECT_TRUE(bridges_.children.empty());
}

TEST_F(MeshRadioTest, ConnectAcceptsOnlyAConnectedReplyWithAPort) {
    Outcome<std::string> connect;
    radio_->connect(std::nullopt, recordEvents(), connect.callback());
    bridges_.last().output(reply(bridges_.last().request(), R"("event":"connected")"));
    EXPECT_TRUE(connect.failedWith(Kind::invalidBridgeReply));
    EXPECT_EQ(connect.result->error().description(), "Halvo Meshtastic Bridge returned an unreadable response.");
    EXPECT_TRUE(radio_->isRunning());

    Outcome<std::string> second;
    radio_->connect(std::nullopt, recordEvents(), second.callback());
    auto& first = bridges_.last();
    first.output(reply(first.request(), R"("event":"disconnected")"));
    auto& child = bridges_.last();
    ASSERT_NE(&child, &first);
    child.output(reply(child.request(), R"("event":"status","status":"Busy","port":"/dev/x")"));
    EXPECT_TRUE(second.failedWith(Kind::invalidBridgeReply));
    // A status reply is news as well.
    EXPECT_EQ(events_.back().status, "Busy");
}

TEST_F(MeshRadioTest, ErrorRepliesFailTheRequestAndReachTheEventHandler) {
    auto& child = connected();
    Outcome<std::uint32_t> withText;
    Outcome<Done> withoutText;
    radio_->sendText("hi", std::nullopt, 0, withText.callback());
    const auto sendRequest = child.request();
    radio_->applyRadioSettings(MeshtasticRadioSettings::recommended(), withoutText.callback());
    const auto applyRequest = child.request();
    child.output(reply(sendRequest, R"("event":"error","error":"Radio busy")"));
    child.output(reply(applyRequest, R"("event":"error")"));
    ASSERT_TRUE(withText.failedWith(Kind::bridge));
    EXPECT_EQ(withText.result->error().description(), "Radio busy");
    ASSERT_TRUE(withoutText.failedWith(Kind::bridge));
    EXPECT_EQ(withoutText.result->error().description(), "Halvo Meshtastic Bridge reported an error.");
    ASSERT_EQ(events_.size(), 2u);
    EXPECT_EQ(events_[0].error, "Radio busy");
    EXPECT_EQ(events_[1].event, MeshtasticBridgeEvent::error);
    EXPECT_TRUE(radio_->isRunning());
}

TEST_F(MeshRadioTest, SendTextWritesOneLineAndReturnsThePacketNumber) {
    auto& child = connected();
    Outcome<std::uint32_t> broadcast;
    Outcome<std::uint32_t> direct;
    radio_->sendText("a/b", std::nullopt, 2, broadcast.callback());
    radio_->sendText("x", 305419896u, 0, direct.callback());
    ASSERT_EQ(child.written.size(), 3u);
    const auto& line = child.written[1];
    EXPECT_EQ(line.back(), '\n');
    EXPECT_EQ(line.find('\n'), line.size() - 1);
    EXPECT_NE(line.find(R"("text":"a\/b")"), std::string::npos);
    EXPECT_NE(line.find(R"("channel":2)"), std::string::npos);
    EXPECT_EQ(line.find("recipient"), std::string::npos);
    EXPECT_EQ(child.request().recipient, 305419896u);

    // Answered in reverse order: each gets its own reply.
    child.output(reply(child.request(-1), R"("event":"sent","packetID":22)"));
    child.output(reply(child.request(-2), R"("event":"sent","packetID":11)"));
    ASSERT_TRUE(broadcast.result && broadcast.result->ok());
    ASSERT_TRUE(direct.result && direct.result->ok());
    EXPECT_EQ(broadcast.result->value(), 11u);
    EXPECT_EQ(direct.result->value(), 22u);

    Outcome<std::uint32_t> noPacket;
    radio_->sendText("y", std::nullopt, 0, noPacket.callback());
    child.output(reply(child.request(), R"("event":"sent")"));
    EXPECT_TRUE(noPacket.failedWith(Kind::invalidBridgeReply));
    EXPECT_TRUE(events_.empty());
}

TEST_F(MeshRadioTest, RequestsTimeOutOnTheEventLoopAndLateRepliesFollowTheNewsRule) {
    Outcome<std::string> connect;
    radio_->connect(std::nullopt, recordEvents(), connect.callback());
    auto& child = bridges_.last();
    loop_.advance(7999ms);
    EXPECT_EQ(connect.calls, 0);
    loop_.advance(1ms);
    EXPECT_TRUE(connect.failedWith(Kind::requestTimedOut));
    EXPECT_EQ(connect.result->error().description(), "Halvo Meshtastic Bridge did not answer in time.");
    EXPECT_TRUE(radio_->isRunning());
    EXPECT_EQ(child.terminateCount, 0);

    Outcome<std::uint32_t> send;
    Outcome<Done> read;
    Outcome<Done> apply;
    radio_->sendText("late", std::nullopt, 0, send.callback());
    const auto sendRequest = child.request();
    loop_.advance(1s);
    radio_->requestRadioSettings(read.callback());
    const auto readRequest = child.request();
    radio_->applyRadioSettings(MeshtasticRadioSettings::recommended(), apply.callback());
    loop_.advance(4s);
    EXPECT_TRUE(send.failedWith(Kind::requestTimedOut));
    EXPECT_EQ(read.calls, 0);
    loop_.advance(1s);
    EXPECT_TRUE(read.failedWith(Kind::requestTimedOut));
    EXPECT_TRUE(apply.failedWith(Kind::requestTimedOut));

    const std::string settings =
        R"("settings":{"usePreset":true,"region":"eu868","modemPreset":"longFast","hopLimit":3,"channelNum":0,)"
        R"("txEnabled":true,"txPower":0,"rxBoostedGain":false,"overrideDutyCycle":false,"overrideFrequency":0})";
    child.output(reply(sendRequest, R"("event":"sent","packetID":5)"));
    child.output(reply(child.request(0), R"("event":"connected","port":"/dev/x")"));
    EXPECT_TRUE(events_.empty());
    child.output(reply(readRequest, "\"event\":\"radioSettings\"," + settings));
    ASSERT_EQ(events_.size(), 1u);
    EXPECT_TRUE(events_[0].settings.has_value());
    EXPECT_EQ(send.calls, 1);
    EXPECT_EQ(read.calls, 1);
    EXPECT_EQ(loop_.activeTimerCount(), 0u);
}

TEST_F(MeshRadioTest, ADuplicateReplyIsTreatedAsNews) {
    auto& child = connected();
    Outcome<Done> read;
    Outcome<std::uint32_t> send;
    radio_->requestRadioSettings(read.callback());
    const auto readRequest = child.request();
    radio_->sendText("t", std::nullopt, 0, send.callback());
    const auto sendRequest = child.request();
    for (int i = 0; i < 2; ++i) {
        child.output(reply(readRequest, R"("event":"radioSettings")"));
        child.output(reply(sendRequest, R"("event":"sent","packetID":9)"));
    }
    EXPECT_EQ(read.calls, 1);
    EXPECT_EQ(send.calls, 1);
    EXPECT_EQ(events_.size(), 2u);
    // Unsolicited connected and sent lines are news too.
    child.output("{\"protocolVersion\":1,\"event\":\"sent\",\"packetID\":1}\r\n{\"protocolVersion\":1,\"event\":");
    child.output("\"connected\"}\n");
    EXPECT_EQ(events_.size(), 4u);
}

TEST_F(MeshRadioTest, UndecodableAndOverlongLinesAreDroppedSilently) {
    auto& child = connected();
    child.output("not json\n{\"event\":\"status\",\"status\":\"no version\"}\n");
    child.output("{\"protocolVersion\":1,\"event\":\"bogus\"}\n");
    child.output("{\"protocolVersion\":1,\"event\":\"status\",\"status\":\"" + std::string(1 << 20, 'x') + "\"}\n");
    child.output("{\"protocolVersion\":1,\"event\":\"status\",\"status\":\"fine\"}\n");
    ASSERT_EQ(events_.size(), 1u);
    EXPECT_EQ(events_[0].status, "fine");
    EXPECT_TRUE(radio_->isRunning());
    EXPECT_TRUE(stops_.empty());
}

TEST_F(MeshRadioTest, AnotherProtocolVersionStopsTheBridgeAndFailsEveryPendingRequest) {
    auto& child = connected();
    Outcome<std::uint32_t> send;
    Outcome<Done> read;
    radio_->sendText("a", std::nullopt, 0, send.callback());
    radio_->requestRadioSettings(read.callback());
    child.output("{\"protocolVersion\":2,\"event\":\"ready\"}\n");
    const std::string text = "Halvo Meshtastic Bridge uses an incompatible protocol version.";
    ASSERT_TRUE(send.failedWith(Kind::bridge));
    EXPECT_EQ(send.result->error().description(), text);
    ASSERT_TRUE(read.failedWith(Kind::bridge));
    EXPECT_EQ(child.terminateCount, 1);
    EXPECT_TRUE(events_.empty());
    ASSERT_EQ(stops_.size(), 1u);
    EXPECT_EQ(stops_[0], MeshRadioError::bridge(text));

    // Lines the old child still had in its pipe go nowhere.
    child.output("{\"protocolVersion\":1,\"event\":\"status\",\"status\":\"x\"}\n");
    EXPECT_TRUE(events_.empty());
    Outcome<std::uint32_t> later;
    radio_->sendText("b", std::nullopt, 0, later.callback());
    EXPECT_EQ(later.calls, 0);
    loop_.runPending();
    EXPECT_TRUE(later.failedWith(Kind::bridgeStopped));
}

TEST_F(MeshRadioTest, ExitFailsPendingRequestsAndLaterRequestsAtOnce) {
    auto& child = connected();
    Outcome<std::uint32_t> first;
    Outcome<Done> second;
    radio_->sendText("a", std::nullopt, 0, first.callback());
    radio_->applyRadioSettings(MeshtasticRadioSettings::recommended(), second.callback());
    // A reply written just before the exit still counts.
    child.output(reply(child.request(-2), R"("event":"sent","packetID":4)"));
    child.exit();
    ASSERT_TRUE(first.result && first.result->ok());
    EXPECT_TRUE(second.failedWith(Kind::bridgeStopped));
    EXPECT_EQ(second.result->error().description(), "Halvo Meshtastic Bridge stopped unexpectedly.");
    ASSERT_EQ(stops_.size(), 1u);
    EXPECT_EQ(stops_[0].kind(), Kind::bridgeStopped);
    EXPECT_FALSE(radio_->isRunning());

    const auto writtenBefore = child.written.size();
    Outcome<std::uint32_t> later;
    radio_->sendText("b", std::nullopt, 0, later.callback());
    loop_.runPending();
    EXPECT_TRUE(later.failedWith(Kind::bridgeStopped));
    EXPECT_EQ(child.written.size(), writtenBefore);
    // The exited child is released once its notice has returned.
    EXPECT_TRUE(child.destroyed);
}

TEST_F(MeshRadioTest, ReadAndWriteFailures) {
    auto& child = connected();
    Outcome<std::uint32_t> send;
    child.writeFailure = "Broken pipe";
    radio_->sendText("a", std::nullopt, 0, send.callback());
    EXPECT_EQ(send.calls, 0);
    loop_.runPending();
    ASSERT_TRUE(send.failedWith(Kind::writeFailed));
    EXPECT_NE(send.result->error().description().find("Broken pipe"), std::string::npos);
    EXPECT_EQ(loop_.activeTimerCount(), 0u);
    EXPECT_TRUE(radio_->isRunning());

    Outcome<Done> read;
    radio_->requestRadioSettings(read.callback());
    child.readFailure("Input/output error");
    ASSERT_TRUE(read.failedWith(Kind::readFailed));
    ASSERT_EQ(stops_.size(), 1u);
    EXPECT_EQ(stops_[0], MeshRadioError::readFailed("Input/output error"));
    EXPECT_EQ(child.terminateCount, 1);
    EXPECT_FALSE(radio_->isRunning());
}

TEST_F(MeshRadioTest, LaunchFailureCarriesThePlatformText) {
    bridges_.nextStartFailure = "execve: Permission denied";
    Outcome<std::string> connect;
    radio_->connect(std::nullopt, recordEvents(), connect.callback());
    loop_.runPending();
    ASSERT_TRUE(connect.failedWith(Kind::launchFailed));
    EXPECT_EQ(connect.result->error().message(), "execve: Permission denied");
    EXPECT_FALSE(radio_->isRunning());
    EXPECT_TRUE(bridges_.last().destroyed);
}

TEST_F(MeshRadioTest, DisconnectAsksTheBridgeThenStopsAndCancelsWhatIsPending) {
    Outcome<Done> idle;
    radio_->disconnect(idle.callback());
    EXPECT_EQ(idle.calls, 0);
    loop_.runPending();
    EXPECT_EQ(idle.calls, 1);
    EXPECT_TRUE(bridges_.children.empty());

    auto& child = connected();
    Outcome<std::uint32_t> send;
    Outcome<Done> disconnect;
    radio_->sendText("a", std::nullopt, 0, send.callback());
    radio_->disconnect(disconnect.callback());
    EXPECT_EQ(child.request().command, MeshtasticBridgeCommand::disconnect);
    EXPECT_TRUE(radio_->isRunning());
    // Never answered: after 2 s the bridge is stopped anyway.
    loop_.advance(1999ms);
    EXPECT_EQ(disconnect.calls, 0);
    loop_.advance(1ms);
    EXPECT_EQ(disconnect.calls, 1);
    EXPECT_TRUE(disconnect.result->ok());
    EXPECT_TRUE(send.failedWith(Kind::cancelled));
    EXPECT_EQ(child.terminateCount, 1);
    EXPECT_FALSE(radio_->isRunning());
    // Asked for: not an unexpected stop, also not when the child then exits.
    child.exit();
    loop_.runPending();
    EXPECT_TRUE(stops_.empty());
}

TEST_F(MeshRadioTest, NoticesOfAnOldChildNeverTouchTheNewOne) {
    auto& oldChild = connected();
    Outcome<std::string> reconnect;
    radio_->connect(std::nullopt, recordEvents(), reconnect.callback());
    oldChild.output(reply(oldChild.request(), R"("event":"disconnected")"));
    auto& newChild = bridges_.last();
    ASSERT_NE(&newChild, &oldChild);
    Outcome<std::uint32_t> send;
    radio_->sendText("a", std::nullopt, 0, send.callback());
    const auto eventsBefore = events_.size();

    oldChild.output("{\"protocolVersion\":2,\"event\":\"ready\"}\n{\"protocolVersion\":1,\"event\":\"ready\"}\n");
    oldChild.readFailure("gone");
    oldChild.exit();
    loop_.runPending();
    EXPECT_EQ(events_.size(), eventsBefore);
    EXPECT_TRUE(stops_.empty());
    EXPECT_TRUE(radio_->isRunning());
    EXPECT_EQ(send.calls, 0);
    EXPECT_EQ(reconnect.calls, 0);

    newChild.output(reply(newChild.request(0), R"("event":"connected","port":"/dev/p")"));
    newChild.output(reply(newChild.request(1), R"("event":"sent","packetID":1)"));
    EXPECT_EQ(reconnect.result->value(), "/dev/p");
    EXPECT_EQ(send.result->value(), 1u);
}

TEST_F(MeshRadioTest, DestroyingTheRadioEndsTheChildWithoutCallingBack) {
    auto& child = connected();
    Outcome<std::uint32_t> send;
    radio_->sendText("a", std::nullopt, 0, send.callback());
    radio_.reset();
    EXPECT_GE(child.terminateCount, 1);
    EXPECT_TRUE(child.destroyed);
    loop_.advance(10s);
    EXPECT_EQ(send.calls, 0);
    EXPECT_EQ(loop_.activeTimerCount(), 0u);
}

TEST_F(MeshRadioTest, TheEventHandlerMayCallBackIntoTheRadio) {
    auto& child = connected();
    Outcome<std::uint32_t> send;
    std::vector<std::string> seen;
    Outcome<std::string> reconnect;
    radio_->connect(std::nullopt, [&](const MeshtasticBridgeResponse& response) {
        seen.push_back(response.status.value_or(""));
        if (seen.size() == 1) radio_->sendText("from handler", std::nullopt, 0, send.callback());
    }, reconnect.callback());
    child.output(reply(child.request(), R"("event":"disconnected","status":"one")"));
    auto& next = bridges_.last();
    next.output(reply(next.request(0), R"("event":"connected","port":"/dev/p")"));
    next.output("{\"protocolVersion\":1,\"event\":\"status\",\"status\":\"two\"}\n");
    EXPECT_EQ(seen, (std::vector<std::string>{"one", "two"}));
    EXPECT_EQ(next.request(1).text, "from handler");
    EXPECT_EQ(reconnect.result->value(), "/dev/p");
}

TEST(MeshRadioErrorTest, PlatformCasesReadAsSentences) {
    EXPECT_EQ(MeshRadioError::bridge("x").description(), "x");
    EXPECT_EQ(MeshRadioError::launchFailed("No such file").description(),
              "Halvo Meshtastic Bridge could not be started: No such file");
    EXPECT_EQ(MeshRadioError::writeFailed("").description(), "Could not send the request to Halvo Meshtastic Bridge.");
    EXPECT_FALSE(MeshRadioError::cancelled().description().empty());
    EXPECT_NE(MeshRadioError::bridge("a"), MeshRadioError::bridge("b"));
}

}  // namespace
}  // namespace corvane
