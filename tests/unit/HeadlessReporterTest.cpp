// SPDX-License-Identifier: GPL-3.0-or-later
// The headless reporter on the real model with scripted bridges, on virtual time.
#include "headless/HeadlessReporter.h"
#include "headless/PhoneReporter.h"

#include "CorvaneModelFixture.h"
#include "support/FakePhoneChannel.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

class HeadlessReporterTest : public CorvaneModelFixture {
protected:
    void startReporting() {
        reporter_ = std::make_unique<HeadlessReporter>(model(), loop_, [this](const std::string& line) {
            printed_.push_back(line);
        });
        loop_.runPending();
    }
    Lines take() { return std::exchange(printed_, {}); }

    Lines printed_;
    std::unique_ptr<HeadlessReporter> reporter_;
};

// A guard left without a working bridge says why once, not every five
// seconds; what ends the run of failures is news again.
TEST_F(HeadlessReporterTest, RetriesThatFailAlikePrintOnceWithTheirReasonAndAlertsFollowTheirCause) {
    addDevice("ttyACM0");
    failLaunches("exec failed");
    start();
    startReporting();
    const std::string failed = "Connection: USB connection failed";
    EXPECT_EQ(take(), (Lines{"Meshtastic Bridge: Installed", failed,
                             "Reason: Halvo Meshtastic Bridge could not be started: exec failed",
                             "Guard: No position marked"}));
    loop_.advance(20s);
    EXPECT_EQ(take(), Lines{});

    failLaunches("no such file");
    loop_.advance(5s);
    EXPECT_EQ(take(), Lines{"Reason: Halvo Meshtastic Bridge could not be started: no such file"});

    failLaunches(std::nullopt);
    loop_.advance(5s);
    acceptConnect(device("ttyACM0"));
    EXPECT_EQ(take(), Lines{"Connection: Connected (" + device("ttyACM0") + ")"});

    // The exit's text is the error; the same text is not repeated as a reason.
    bridge().exit();
    loop_.runPending();
    EXPECT_EQ(take(), (Lines{failed, "Error: Halvo Meshtastic Bridge stopped unexpectedly."}));

    model().setErrorMessage("boom");
    reporter_->announce("Notification: Bicycle moved — far");
    loop_.runPending();
    EXPECT_EQ(take(), (Lines{"Error: boom", "Notification: Bicycle moved — far"}));
}

// A daemon that never runs never changes anything; its absence still shows.
TEST(PhoneReporterTest, TheStatusAtStartIsPrintedOnceAndChangesFollow) {
    ManualEventLoop loop;
    FakeDefaultsStore defaults;
    FakePhoneChannel channel;
    channel.running = false;
    PhoneAlerts alerts(loop, defaults, &channel);
    Lines printed;
    PhoneReporter reporter(alerts, loop, [&printed](const std::string& line) { printed.push_back(line); });
    loop.advance(std::chrono::seconds(10));
    EXPECT_EQ(printed, Lines{"Phone: KDE Connect is not running"});
    channel.update({});
    loop.runPending();
    ASSERT_EQ(printed.size(), 2u);
    EXPECT_NE(printed[1], printed[0]);
}

}  // namespace
}  // namespace corvane
