// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/ManualEventLoop.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;

TEST(ManualEventLoopTest, TimersFireInDueOrderAndWallJumpsLeaveTheMonotonicClock) {
    ManualEventLoop loop;
    const auto start = loop.monotonicNow();
    const auto wallStart = loop.now();
    std::vector<std::string> log;
    const auto seconds = [&] { return std::to_string((loop.monotonicNow() - start) / 1s); };
    auto late = loop.singleShot(3s, [&] { log.push_back("late@" + seconds()); });
    auto tick = loop.repeating(1s, [&] { log.push_back("tick@" + seconds()); });
    auto early = loop.singleShot(1s, [&] { loop.post([&] { log.push_back("posted"); }), log.push_back("early"); });
    loop.advance(3500ms);
    EXPECT_EQ(log, (std::vector<std::string>{"tick@1", "early", "posted", "tick@2", "late@3", "tick@3"}));  // post() defers
    EXPECT_EQ(loop.activeTimerCount(), 1u);

    loop.jumpWallClock(-1h);
    EXPECT_EQ(loop.now(), wallStart + 3500ms - 1h);
    EXPECT_EQ(loop.monotonicNow() - start, 3500ms);
    loop.setWallClock(Timestamp{});
    loop.advance(1s);
    EXPECT_EQ(loop.now(), Timestamp{} + 1s);
}

TEST(ManualEventLoopTest, CancelledTimersNeverFireEvenWhenDue) {
    ManualEventLoop loop;
    int fired = 0;
    TimerHandle second;
    auto first = loop.singleShot(1s, [&] { ++fired, second.cancel(); });  // `second` is due too
    second = loop.singleShot(1s, [&] { fired += 10; });
    loop.singleShot(1s, [&] { fired += 100; });  // a dropped handle cancels
    TimerHandle repeating = loop.repeating(1s, [&] { ++fired, repeating.cancel(); });
    loop.advance(5s);
    EXPECT_TRUE(fired == 2 && loop.activeTimerCount() == 0u) << fired;

    // Moving a handle keeps the timer; assigning over it cancels the old one.
    TimerHandle moved = loop.singleShot(1s, [&] { fired += 1000; }), target = std::move(moved);
    EXPECT_FALSE(moved.holdsTimer());
    target = loop.singleShot(2s, [&] { fired += 10000; });
    loop.advance(2s);
    EXPECT_EQ(fired, 10002);
}

}  // namespace
}  // namespace corvane
