// SPDX-License-Identifier: GPL-3.0-or-later
#include "BridgeLoop.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <vector>

namespace corvane::bridge {

BridgeLoop::TimerId BridgeLoop::after(Clock::duration delay, std::function<void()> callback) {
    const TimerId id = nextTimer_++;
    timers_.emplace(id, Timer{Clock::now() + delay, std::move(callback)});
    return id;
}

void BridgeLoop::cancel(TimerId& id) {
    timers_.erase(id);
    id = 0;
}

void BridgeLoop::watch(int fd, std::function<void()> onReady) { watched_[fd] = std::move(onReady); }

void BridgeLoop::unwatch(int fd) { watched_.erase(fd); }

void BridgeLoop::stop(int status) {
    if (!stopping_) status_ = status;
    stopping_ = true;
}

void BridgeLoop::runDueTimers() {
    // Timers added by a callback wait for the next turn.
    std::vector<TimerId> due;
    const auto now = Clock::now();
    for (const auto& [id, timer] : timers_) {
        if (timer.due <= now) due.push_back(id);
    }
    std::sort(due.begin(), due.end(), [this](TimerId a, TimerId b) { return timers_[a].due < timers_[b].due; });
    for (const TimerId id : due) {
        if (stopping_) return;
        const auto found = timers_.find(id);
        if (found == timers_.end()) continue;
        auto callback = std::move(found->second.callback);
        timers_.erase(found);
        callback();
    }
}

int BridgeLoop::run() {
    while (!stopping_) {
        int timeout = -1;
        if (!timers_.empty()) {
            auto next = Clock::time_point::max();
            for (const auto& [id, timer] : timers_) next = std::min(next, timer.due);
            const auto wait = std::chrono::ceil<std::chrono::milliseconds>(next - Clock::now()).count();
            timeout = static_cast<int>(std::clamp<long long>(wait, 0, 60000));
        }
        std::vector<pollfd> fds;
        for (const auto& [fd, callback] : watched_) fds.push_back(pollfd{.fd = fd, .events = POLLIN, .revents = 0});
        const int ready = ::poll(fds.data(), fds.size(), timeout);
        if (ready < 0 && errno != EINTR) return 1;
        for (const auto& entry : fds) {
            if (stopping_) break;
            if (entry.revents == 0) continue;
            // A callback may have unwatched this fd (closed the port).
            const auto found = watched_.find(entry.fd);
            if (found == watched_.end()) continue;
            auto callback = found->second;
            callback();
        }
        runDueTimers();
    }
    return status_;
}

}  // namespace corvane::bridge
