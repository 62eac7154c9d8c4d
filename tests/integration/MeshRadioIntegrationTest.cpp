// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/MeshRadio.h"
#include "platform/QProcessBridgeProcess.h"
#include "QtWait.h"
#include "platform/QtEventLoop.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Kind = MeshRadioError::Kind;

template <typename T>
struct Outcome {
    std::optional<Result<T, MeshRadioError>> result;
    MeshRadio::Completion<T> callback() {
        return [this](Result<T, MeshRadioError> value) { result.emplace(std::move(value)); };
    }
    bool done() const { return result.has_value(); }
    bool wait(std::chrono::milliseconds limit = 3s) const { return runUntil([this] { return done(); }, limit); }
    bool ok() const { return result && result->ok(); }
    bool failedWith(Kind kind) const { return result && !result->ok() && result->error().kind() == kind; }
};

class MeshRadioIntegrationTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ensureApplication();
    }

    void SetUp() override {
        const char* bin = std::getenv("CORVANE_BUILD_BIN");
        ASSERT_NE(bin, nullptr) << "run through ctest";
        const auto sim = fs::path(bin) / "corvane-bridge-sim";
        ASSERT_TRUE(fs::exists(sim)) << sim;
        root_ = fs::temp_directory_path() / ("mesh-radio-it-" + std::to_string(::getpid()));
        fs::remove_all(root_);
        fs::create_directories(root_);
        std::ofstream(root_ / "ttyACM0").flush();
        ::setenv("HALVO_MESHTASTIC_BRIDGE_PATH", sim.c_str(), 1);
        ::setenv("CORVANE_DEVICE_DIR", root_.c_str(), 1);
        ::unsetenv("CORVANE_BRIDGE_SIM_ARGS");
    }

    void TearDown() override {
        radio_.reset();
        fs::remove_all(root_);
    }

    void makeRadio(const std::string& simArguments) {
        ::setenv("CORVANE_BRIDGE_SIM_ARGS", simArguments.c_str(), 1);
        radio_ = std::make_unique<MeshRadio>(loop_, [] { return std::make_unique<QProcessBridgeProcess>(); });
        radio_->setStopHandler([this](const MeshRadioError& error) { stops_.push_back(error); });
    }

    MeshRadio::EventHandler recordEvents() {
        return [this](const MeshtasticBridgeResponse& response) { events_.push_back(response); };
    }

    void connect() {
        Outcome<std::string> connected;
        radio_->connect(std::nullopt, recordEvents(), connected.callback());
        ASSERT_TRUE(connected.wait());
        ASSERT_TRUE(connected.ok()) << connected.result->error().description();
        EXPECT_EQ(connected.result->value(), (root_ / "ttyACM0").string());
    }

    std::uint32_t sendText(const std::string& text) {
        Outcome<std::uint32_t> sent;
        radio_->sendText(text, std::nullopt, 0, sent.callback());
        EXPECT_TRUE(sent.wait() && sent.ok());
        return sent.ok() ? sent.result->value() : 0;
    }

    fs::path root_;
    QtEventLoop loop_;
    std::unique_ptr<MeshRadio> radio_;
    std::vector<MeshtasticBridgeResponse> events_;
    std::vector<MeshRadioError> stops_;
};

// Standard error beyond a pipe's buffer, garbage, replies split across writes
// and overlong status lines before every reply: only the replies get through.
TEST_F(MeshRadioIntegrationTest, ConnectsSendsReadsSettingsAndDisconnectsThroughNoise) {
    makeRadio("--stderr-flood 1048576 --garbage --oversized 2097152");
    connect();
    EXPECT_EQ(sendText("hello / world"), 1001u);
    EXPECT_EQ(sendText("two"), 1002u);
    Outcome<Done> read;
    radio_->requestRadioSettings(read.callback());
    ASSERT_TRUE(runUntil([&] { return read.ok() && !events_.empty(); }, 3s));
    ASSERT_EQ(events_.size(), 1u);
    EXPECT_EQ(events_.back().event, MeshtasticBridgeEvent::radioSettings);
    EXPECT_TRUE(events_.back().settings.has_value());

    Outcome<Done> disconnected;
    radio_->disconnect(disconnected.callback());
    ASSERT_TRUE(disconnected.wait());
    EXPECT_FALSE(radio_->isRunning());
    EXPECT_TRUE(stops_.empty());
}

// The same conversation with the real bridge, driving the fake radio of
// tests/integration/fake_radio.py on a pseudo-terminal.
TEST_F(MeshRadioIntegrationTest, RealBridgeConnectsSendsReadsSettingsAndDisconnects) {
    const fs::path bin = std::getenv("CORVANE_BUILD_BIN");
    const auto source = fs::path(std::getenv("CORVANE_SOURCE_DIR"));
    fs::remove(root_ / "ttyACM0");
    const auto log = root_ / "radio.log";
    const pid_t radio = ::fork();
    ASSERT_GE(radio, 0);
    if (radio == 0) {
        ::setenv("CORVANE_BRIDGE_PYTHON", (bin.parent_path() / "python").c_str(), 1);
        const auto script = (source / "tests" / "integration" / "fake_radio.py").string();
        const auto link = (root_ / "ttyACM0").string();
        ::execl("/usr/bin/python3", "python3", script.c_str(), link.c_str(), "--log", log.c_str(), nullptr);
        ::_exit(127);
    }
    const struct RadioGuard {
        pid_t pid;
        ~RadioGuard() {
            ::kill(pid, SIGTERM);
            ::waitpid(pid, nullptr, 0);
        }
    } guard{radio};
    ASSERT_TRUE(runUntil([&] { return fs::is_symlink(root_ / "ttyACM0"); }, 3s));
    ::setenv("HALVO_MESHTASTIC_BRIDGE_PATH", (bin / "halvo-meshtastic-bridge").c_str(), 1);
    makeRadio("");
    connect();
    const auto first = sendText("hello / world");
    const auto second = sendText("two");
    EXPECT_NE(first, 0u);
    EXPECT_NE(first, second);
    Outcome<Done> read;
    radio_->requestRadioSettings(read.callback());
    ASSERT_TRUE(runUntil([&] { return read.ok() && events_.size() >= 2 && events_.back().event ==
                                                  MeshtasticBridgeEvent::radioSettings && events_.back().requestID; },
                         3s));
    EXPECT_EQ(events_.back().settings->region, MeshtasticRegion::eu868);

    Outcome<Done> disconnected;
    radio_->disconnect(disconnected.callback());
    ASSERT_TRUE(disconnected.wait());
    EXPECT_FALSE(radio_->isRunning());
    EXPECT_TRUE(stops_.empty());
    std::ifstream received(log);
    std::string line, all;
    while (std::getline(received, line)) all += line + "\n";
    EXPECT_NE(all.find("\"text\": \"hello / world\""), std::string::npos) << all;
    EXPECT_NE(all.find("\"text\": \"two\""), std::string::npos) << all;
}

TEST_F(MeshRadioIntegrationTest, ExitWithTwoRequestsPendingFailsBoth) {
    makeRadio("--no-answer sendText --exit-after 3 --exit-before-answer");
    connect();
    Outcome<std::uint32_t> first, second;
    radio_->sendText("one", std::nullopt, 0, first.callback());
    radio_->sendText("two", std::nullopt, 0, second.callback());
    ASSERT_TRUE(runUntil([&] { return first.done() && second.done() && !stops_.empty(); }, 3s));
    EXPECT_TRUE(first.failedWith(Kind::bridgeStopped) && second.failedWith(Kind::bridgeStopped));
    EXPECT_EQ(stops_.size(), 1u);
    Outcome<std::uint32_t> later;
    radio_->sendText("three", std::nullopt, 0, later.callback());
    ASSERT_TRUE(later.wait(1s));
    EXPECT_TRUE(later.failedWith(Kind::bridgeStopped));
}

TEST_F(MeshRadioIntegrationTest, RestartRightAfterTerminateKeepsTheNewBridge) {
    makeRadio("");
    connect();
    // Each connect stops the running child and starts a fresh one at once;
    // the exits of the old ones arrive while the new one runs.
    for (int i = 0; i < 3; ++i) connect();
    EXPECT_EQ(sendText("still here"), 1001u);
    ASSERT_FALSE(runUntil([&] { return !stops_.empty(); }, 300ms));
    EXPECT_TRUE(radio_->isRunning());
    EXPECT_EQ(sendText("and here"), 1002u);
}

TEST_F(MeshRadioIntegrationTest, LaunchFailureReportsThePlatformError) {
    const auto notExecutable = root_ / "not-a-program";
    std::ofstream(notExecutable) << "#!/nonexistent/interpreter\n";
    fs::permissions(notExecutable, fs::perms::owner_all);
    ::setenv("HALVO_MESHTASTIC_BRIDGE_PATH", notExecutable.c_str(), 1);
    makeRadio("");
    Outcome<std::string> connected;
    radio_->connect(std::nullopt, recordEvents(), connected.callback());
    ASSERT_TRUE(connected.wait());
    ASSERT_TRUE(connected.failedWith(Kind::launchFailed));
    EXPECT_FALSE(connected.result->error().message().empty());
    EXPECT_FALSE(radio_->isRunning());
}

}  // namespace
}  // namespace corvane
