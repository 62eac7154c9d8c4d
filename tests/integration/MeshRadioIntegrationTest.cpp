// SPDX-License-Identifier: GPL-3.0-or-later
// MeshRadio over QProcessBridgeProcess with corvane-bridge-sim as a real
// child: its fault modes (pipes flooded, exits mid-request, restarts) and a
// launch the system refuses. The real bridge is driven end to end in
// tests/e2e/test_real_bridge.py.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/MeshRadio.h"
#include "platform/QProcessBridgeProcess.h"
#include "platform/QtEventLoop.h"
#include "QtWait.h"
#include "support/MeshRadioOutcome.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Kind = MeshRadioError::Kind;

template <typename T>
bool answered(const Outcome<T>& outcome, std::chrono::milliseconds limit = 3s) {
    return runUntil([&outcome] { return outcome.calls > 0; }, limit);
}

class MeshRadioIntegrationTest : public ::testing::Test {
protected:
    void SetUp() override {
        ensureApplication();
        const char* bin = std::getenv("CORVANE_BUILD_BIN");
        ASSERT_NE(bin, nullptr) << "run through ctest";
        const auto sim = fs::path(bin) / "corvane-bridge-sim";
        ASSERT_TRUE(fs::exists(sim)) << sim;
        fs::remove_all(root_);
        fs::create_directories(root_);
        std::ofstream(root_ / "ttyACM0").flush();
        ::setenv("HALVO_MESHTASTIC_BRIDGE_PATH", sim.c_str(), 1);
        ::setenv("CORVANE_DEVICE_DIR", root_.c_str(), 1);
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
    void connect() {
        Outcome<std::string> connected;
        radio_->connect(std::nullopt, [this](const MeshtasticBridgeResponse& news) { events_.push_back(news); },
                        connected.callback());
        ASSERT_TRUE(answered(connected));
        ASSERT_TRUE(connected.succeeded()) << connected.result->error().description();
        EXPECT_EQ(connected.result->value(), (root_ / "ttyACM0").string());
    }
    std::uint32_t sendText(const std::string& text) {
        Outcome<std::uint32_t> sent;
        radio_->sendText(text, std::nullopt, 0, sent.callback());
        EXPECT_TRUE(answered(sent) && sent.succeeded());
        return sent.succeeded() ? sent.result->value() : 0;
    }

    const fs::path root_ = fs::temp_directory_path() / ("mesh-radio-it-" + std::to_string(::getpid()));
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
    ASSERT_TRUE(runUntil([&] { return read.succeeded() && !events_.empty(); }));
    ASSERT_EQ(events_.size(), 1u);
    EXPECT_EQ(events_.back().event, MeshtasticBridgeEvent::radioSettings);
    EXPECT_TRUE(events_.back().settings.has_value());

    Outcome<Done> disconnected;
    radio_->disconnect(disconnected.callback());
    ASSERT_TRUE(answered(disconnected));
    EXPECT_FALSE(radio_->isRunning());
    EXPECT_TRUE(stops_.empty());
}

TEST_F(MeshRadioIntegrationTest, ExitWithTwoRequestsPendingFailsBoth) {
    makeRadio("--no-answer sendText --exit-after 3 --exit-before-answer");
    connect();
    Outcome<std::uint32_t> first, second, later;
    radio_->sendText("one", std::nullopt, 0, first.callback());
    radio_->sendText("two", std::nullopt, 0, second.callback());
    ASSERT_TRUE(runUntil([&] { return first.calls && second.calls && !stops_.empty(); }));
    EXPECT_TRUE(first.failedWith(Kind::bridgeStopped));
    EXPECT_TRUE(second.failedWith(Kind::bridgeStopped));
    EXPECT_EQ(stops_.size(), 1u);
    radio_->sendText("three", std::nullopt, 0, later.callback());
    ASSERT_TRUE(answered(later, 1s));
    EXPECT_TRUE(later.failedWith(Kind::bridgeStopped));
}

TEST_F(MeshRadioIntegrationTest, RestartRightAfterTerminateKeepsTheNewBridge) {
    makeRadio("");
    // Each connect stops the running child and starts a fresh one at once;
    // the exits of the old ones arrive while the new one runs.
    for (int i = 0; i < 4; ++i) connect();
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
    radio_->connect(std::nullopt, {}, connected.callback());
    ASSERT_TRUE(answered(connected));
    ASSERT_TRUE(connected.failedWith(Kind::launchFailed));
    EXPECT_FALSE(connected.result->error().message().empty());
    EXPECT_FALSE(radio_->isRunning());
}

}  // namespace
}  // namespace corvane
