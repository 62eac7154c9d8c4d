// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Ownership of one timer started on an EventLoop. Move-only; destroying or
// cancel()ing the handle cancels the timer, so an object that keeps its
// handles as members takes its timers with it when it goes away. Used on the
// loop thread only. A default-constructed handle owns nothing.
#include <functional>
#include <utility>

namespace corvane {

class TimerHandle {
public:
    TimerHandle() = default;
    // `cancel` is run at most once, by cancel(), reassignment or destruction.
    explicit TimerHandle(std::function<void()> cancel) : cancel_(std::move(cancel)) {}
    TimerHandle(TimerHandle&& other) noexcept : cancel_(std::exchange(other.cancel_, nullptr)) {}
    TimerHandle& operator=(TimerHandle&& other) noexcept {
        if (this != &other) {
            cancel();
            cancel_ = std::exchange(other.cancel_, nullptr);
        }
        return *this;
    }
    TimerHandle(const TimerHandle&) = delete;
    TimerHandle& operator=(const TimerHandle&) = delete;
    ~TimerHandle() { cancel(); }

    void cancel() {
        if (auto action = std::exchange(cancel_, nullptr)) action();
    }
    bool holdsTimer() const { return static_cast<bool>(cancel_); }

private:
    std::function<void()> cancel_;
};

}  // namespace corvane
