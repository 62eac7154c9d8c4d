// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/ManualEventLoop.h"

#include <algorithm>
#include <tuple>
#include <utility>

namespace corvane {

struct ManualEventLoop::Timer {
    std::chrono::steady_clock::time_point due;
    std::uint64_t sequence = 0;
    Duration interval{};  // zero for a one-shot timer
    Callback callback;
    bool cancelled = false;
};

ManualEventLoop::ManualEventLoop()
    // Arbitrary but fixed origins keep test runs reproducible.
    : monotonic_(std::chrono::steady_clock::time_point(std::chrono::hours(1000))),
      wallClock_(std::chrono::sys_days(std::chrono::year(2026) / 3 / 1) + std::chrono::hours(9)) {}

ManualEventLoop::~ManualEventLoop() {
    for (auto& timer : timers_) timer->cancelled = true;
}

void ManualEventLoop::post(Callback work) { posted_.push_back(std::move(work)); }

void ManualEventLoop::runInBackground(std::function<Callback()> work) {
    if (holdingBackground_) {
        heldBackground_.push_back(std::move(work));
        return;
    }
    post([work = std::move(work)] { work()(); });
}

void ManualEventLoop::releaseBackgroundWork() {
    holdingBackground_ = false;
    for (auto& work : std::exchange(heldBackground_, {})) runInBackground(std::move(work));
}

TimerHandle ManualEventLoop::singleShot(Duration delay, Callback callback) {
    return addTimer(delay, Duration::zero(), std::move(callback));
}

TimerHandle ManualEventLoop::repeating(Duration interval, Callback callback) {
    // A zero interval would fire forever within one advance().
    return addTimer(interval, std::max(interval, Duration(1)), std::move(callback));
}

TimerHandle ManualEventLoop::addTimer(Duration delay, Duration interval, Callback callback) {
    auto timer = std::make_shared<Timer>();
    timer->due = monotonic_ + std::max(delay, Duration::zero());
    timer->sequence = nextSequence_++;
    timer->interval = interval;
    timer->callback = std::move(callback);
    timers_.push_back(timer);
    return TimerHandle([weak = std::weak_ptr<Timer>(timer)] {
        if (auto held = weak.lock()) held->cancelled = true;
    });
}

std::size_t ManualEventLoop::activeTimerCount() const {
    return static_cast<std::size_t>(
        std::count_if(timers_.begin(), timers_.end(), [](const auto& timer) { return !timer->cancelled; }));
}

void ManualEventLoop::runPosted() {
    while (!posted_.empty()) {
        auto work = std::move(posted_.front());
        posted_.pop_front();
        work();
    }
}

std::shared_ptr<ManualEventLoop::Timer> ManualEventLoop::nextDueBy(std::chrono::steady_clock::time_point limit) {
    std::erase_if(timers_, [](const auto& timer) { return timer->cancelled; });
    std::shared_ptr<Timer> next;
    for (const auto& timer : timers_) {
        if (timer->due > limit) continue;
        if (!next || std::tie(timer->due, timer->sequence) < std::tie(next->due, next->sequence)) next = timer;
    }
    return next;
}

void ManualEventLoop::advance(Duration duration) {
    const auto target = monotonic_ + std::max(duration, Duration::zero());
    runPosted();
    while (auto timer = nextDueBy(target)) {
        if (timer->due > monotonic_) {
            wallClock_ += std::chrono::duration_cast<Timestamp::duration>(timer->due - monotonic_);
            monotonic_ = timer->due;
        }
        if (timer->interval == Duration::zero()) {
            timer->cancelled = true;
        } else {
            timer->due += timer->interval;
            timer->sequence = nextSequence_++;
        }
        // A copy: the callback may cancel its own timer and so release it.
        auto callback = timer->callback;
        callback();
        runPosted();
    }
    wallClock_ += std::chrono::duration_cast<Timestamp::duration>(target - monotonic_);
    monotonic_ = target;
    runPosted();
}

void ManualEventLoop::runPending() { advance(Duration::zero()); }

}  // namespace corvane
