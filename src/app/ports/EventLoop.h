// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one thread that runs the application's logic: clocks, posted work and
// timers. Implementations: QtEventLoop in production, ManualEventLoop (virtual
// time) in unit tests. Contract every implementation keeps:
// - callbacks run on the loop thread, never inside the call that scheduled
//   them (post and timers always defer);
// - posted work runs in posting order;
// - a timer whose handle was cancelled or destroyed never fires afterwards,
//   even when it was already due;
// - a repeating timer fires every `interval` until cancelled;
// - now() is the wall clock (it may jump), monotonicNow() never goes back;
// - runInBackground runs `work` off the loop thread (it must touch nothing
//   the loop owns) and the callback it returns on the loop, in a later turn.
#include <chrono>
#include <functional>

#include "app/ports/TimerHandle.h"
#include "core/DateTime.h"

namespace corvane {

class EventLoop {
public:
    using Callback = std::function<void()>;
    using Duration = std::chrono::steady_clock::duration;

    virtual ~EventLoop() = default;

    virtual Timestamp now() const = 0;
    virtual std::chrono::steady_clock::time_point monotonicNow() const = 0;

    virtual void post(Callback work) = 0;
    [[nodiscard]] virtual TimerHandle singleShot(Duration delay, Callback callback) = 0;
    [[nodiscard]] virtual TimerHandle repeating(Duration interval, Callback callback) = 0;
    // For reads that would hold the loop up (files of megabytes at start-up).
    // The returned callback runs even when its requester is gone: it checks.
    virtual void runInBackground(std::function<Callback()> work) = 0;

protected:
    EventLoop() = default;
    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;
};

}  // namespace corvane
