// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The bridge's single-threaded event loop: poll() over a few file descriptors
// with one-shot timers on the monotonic clock. Signals reach it through a
// self-pipe (see main). Owned by main(); everything runs on its thread.
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>

namespace corvane::bridge {

class BridgeLoop {
public:
    using Clock = std::chrono::steady_clock;
    using TimerId = std::uint64_t;

    TimerId after(Clock::duration delay, std::function<void()> callback);
    void cancel(TimerId& id);

    // Called when `fd` is readable, hung up or failed. One callback per fd.
    void watch(int fd, std::function<void()> onReady);
    void unwatch(int fd);

    int run();
    void stop(int status);

private:
    struct Timer {
        Clock::time_point due;
        std::function<void()> callback;
    };

    void runDueTimers();

    std::map<TimerId, Timer> timers_;
    std::map<int, std::function<void()>> watched_;
    TimerId nextTimer_ = 1;
    bool stopping_ = false;
    int status_ = 0;
};

}  // namespace corvane::bridge
