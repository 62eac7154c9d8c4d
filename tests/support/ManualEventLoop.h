// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// An EventLoop on virtual time for unit tests: nothing happens until the test
// calls advance() or runPending(), so an 8-second time-out takes microseconds.
// Timers fire in due order (ties in the order they were started), each with
// both clocks showing its own due time; posted work runs in posting order
// before and after every timer. The wall clock moves with the monotonic one
// and can also be set or jumped on its own. Single-threaded, like the code it
// drives.
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "app/ports/EventLoop.h"

namespace corvane {

class ManualEventLoop final : public EventLoop {
public:
    ManualEventLoop();
    ~ManualEventLoop() override;

    Timestamp now() const override { return wallClock_; }
    std::chrono::steady_clock::time_point monotonicNow() const override { return monotonic_; }

    void post(Callback work) override;
    TimerHandle singleShot(Duration delay, Callback callback) override;
    TimerHandle repeating(Duration interval, Callback callback) override;
    void runInBackground(std::function<Callback()> work) override;

    // Background work handed over from now on waits until released.
    void holdBackgroundWork() { holdingBackground_ = true; }
    void releaseBackgroundWork();

    // Moves time forward by `duration`, firing every timer that falls due.
    void advance(Duration duration);
    // Runs posted work and timers already due, without moving time.
    void runPending();

    void setWallClock(Timestamp instant) { wallClock_ = instant; }
    void jumpWallClock(Duration offset) { wallClock_ += offset; }

    // Timers started and neither fired (one-shot) nor cancelled.
    std::size_t activeTimerCount() const;

private:
    struct Timer;

    TimerHandle addTimer(Duration delay, Duration interval, Callback callback);
    void runPosted();
    std::shared_ptr<Timer> nextDueBy(std::chrono::steady_clock::time_point limit);

    std::chrono::steady_clock::time_point monotonic_;
    Timestamp wallClock_;
    std::deque<Callback> posted_;
    bool holdingBackground_ = false;
    std::vector<std::function<Callback()>> heldBackground_;
    std::vector<std::shared_ptr<Timer>> timers_;
    std::uint64_t nextSequence_ = 0;
};

}  // namespace corvane
