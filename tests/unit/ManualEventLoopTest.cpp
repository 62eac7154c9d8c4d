#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/ManualEventLoop.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;

TEST(ManualEventLoopTest, TimersFireInDueOrderEachAtItsOwnTime) {
    ManualEventLoop loop;
    const auto start = loop.monotonicNow();
    const auto wallStart = loop.now();
    std::vector<std::string> log;
    auto late = loop.singleShot(3s, [&] { log.push_back("late@" + std::to_string((loop.monotonicNow() - start) / 1s)); });
    auto tick = loop.repeating(1s, [&] { log.push_back("tick@" + std::to_string((loop.monotonicNow() - start) / 1s)); });
    auto early = loop.singleShot(1s, [&] {
        log.push_back("early");
        loop.post([&] { log.push_back("posted"); });
    });
    loop.advance(3500ms);
    EXPECT_EQ(log, (std::vector<std::string>{"tick@1", "early", "posted", "tick@2", "late@3", "tick@3"}));
    EXPECT_EQ(loop.monotonicNow() - start, 3500ms);
    EXPECT_EQ(loop.now() - wallStart, 3500ms);
    EXPECT_EQ(loop.activeTimerCount(), 1u);
}

TEST(ManualEventLoopTest, CancelledTimersNeverFireEvenWhenDue) {
    ManualEventLoop loop;
    int fired = 0;
    TimerHandle second;
    auto first = loop.singleShot(1s, [&] {
        ++fired;
        second.cancel();  // due at the same instant, already selected by time
    });
    second = loop.singleShot(1s, [&] { fired += 10; });
    {
        auto dropped = loop.singleShot(1s, [&] { fired += 100; });
    }
    TimerHandle repeating;
    repeating = loop.repeating(1s, [&] {
        ++fired;
        repeating.cancel();  // cancelling itself from inside stops it
    });
    loop.advance(5s);
    EXPECT_EQ(fired, 2);
    EXPECT_EQ(loop.activeTimerCount(), 0u);

    // Moving a handle keeps the timer; assigning over it cancels the old one.
    TimerHandle moved = loop.singleShot(1s, [&] { fired += 1000; });
    TimerHandle target = std::move(moved);
    EXPECT_FALSE(moved.holdsTimer());
    target = loop.singleShot(2s, [&] { fired += 10000; });
    loop.advance(2s);
    EXPECT_EQ(fired, 10002);
}

TEST(ManualEventLoopTest, WallClockJumpsDoNotMoveTheMonotonicClock) {
    ManualEventLoop loop;
    const auto mono = loop.monotonicNow();
    const auto wall = loop.now();
    loop.jumpWallClock(-1h);
    EXPECT_EQ(loop.now(), wall - 1h);
    EXPECT_EQ(loop.monotonicNow(), mono);
    loop.setWallClock(Timestamp{});
    loop.advance(1s);
    EXPECT_EQ(loop.now(), Timestamp{} + 1s);
    bool ran = false;
    loop.post([&] { ran = true; });
    EXPECT_FALSE(ran);
    loop.runPending();
    EXPECT_TRUE(ran);
}

}  // namespace
}  // namespace corvane
