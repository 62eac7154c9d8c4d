// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Work that runs once on the loop however many times it is asked for within
// one loop turn: a burst of changes costs one file write or one report.
// Owned by the object whose work it runs; loop thread only. Destroying it
// drops a run still posted; an owner whose work must not be lost (a save)
// calls flush() first.
#include <functional>
#include <memory>
#include <utility>

#include "app/ports/EventLoop.h"

namespace corvane {

class CoalescedTask {
public:
    CoalescedTask(EventLoop& loop, std::function<void()> work) : loop_(loop), work_(std::move(work)) {}
    CoalescedTask(const CoalescedTask&) = delete;
    CoalescedTask& operator=(const CoalescedTask&) = delete;

    void request() {
        if (posted_) return;
        posted_ = true;
        loop_.post([this, alive = std::weak_ptr<int>(alive_)] {
            if (alive.expired() || !posted_) return;
            posted_ = false;
            work_();
        });
    }
    // Runs a requested run now instead of later.
    void flush() {
        if (!posted_) return;
        posted_ = false;
        work_();
    }

private:
    EventLoop& loop_;
    std::function<void()> work_;
    bool posted_ = false;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace corvane
