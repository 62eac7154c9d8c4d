// SPDX-License-Identifier: GPL-3.0-or-later
// QProcessBridgeProcess against small shell children that misbehave the way a
// broken bridge can: output closed early, input closed, SIGTERM ignored.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>

#include "platform/QProcessBridgeProcess.h"
#include "QtWait.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;

class BridgeProcessIntegrationTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ensureApplication();
    }

    // Starts `script` under /bin/sh; it prints "ready" once set up.
    void start(const std::string& script) {
        BridgeProcess::Notices notices;
        notices.onLine = [this](std::string_view line) { lines_.emplace_back(line); };
        notices.onExit = [this] { exited_ = true; };
        ASSERT_TRUE(process_.start("/bin/sh", {"-c", script}, std::move(notices)).ok());
        ASSERT_TRUE(runUntil([this] { return !lines_.empty(); }, 3s));
        ASSERT_EQ(lines_.front(), "ready");
    }

    QProcessBridgeProcess process_;
    std::vector<std::string> lines_;
    bool exited_ = false;
};

TEST_F(BridgeProcessIntegrationTest, LastLineArrivesWhenOutputEndsAndAClosedInputFailsTheWrite) {
    start("echo ready; printf 'last line'; exec 0<&- 1>&-; exec sleep 5");
    ASSERT_TRUE(runUntil([this] { return lines_.size() == 2; }, 2s)) << "the child is still running";
    EXPECT_EQ(lines_.back(), "last line");
    EXPECT_TRUE(process_.isRunning());
    EXPECT_FALSE(process_.writeLine("{\"command\":\"disconnect\"}\n").ok());
}

// Stopping ends every child: one that leaves when its input ends, and one
// that ignores SIGTERM (killed after the grace).
TEST_F(BridgeProcessIntegrationTest, TerminateEndsAChildThatIgnoresSigterm) {
    start("trap '' TERM; echo ready; exec sleep 30");
    const auto asked = std::chrono::steady_clock::now();
    process_.terminate();
    ASSERT_TRUE(runUntil([this] { return exited_; }, 4s));
    EXPECT_GE(std::chrono::steady_clock::now() - asked, 1s) << "killed only after a grace";
    EXPECT_FALSE(process_.isRunning());
}

}  // namespace
}  // namespace corvane
