// SPDX-License-Identifier: GPL-3.0-or-later
#include "SimLoop.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>

namespace corvane::sim {

SimLoop::TimerId SimLoop::after(Clock::duration delay, std::function<void()> callback) {
    const TimerId id = nextId_++;
    timers_.emplace(std::make_pair(Clock::now() + std::max(delay, Clock::duration::zero()), id), std::move(callback));
    return id;
}

void SimLoop::cancel(TimerId id) {
    std::erase_if(timers_, [id](const auto& entry) { return entry.first.second == id; });
}

void SimLoop::stop(int status) {
    if (!exitStatus_) exitStatus_ = status;
}

bool SimLoop::fireDueTimers() {
    while (!exitStatus_ && !timers_.empty() && timers_.begin()->first.first <= Clock::now()) {
        auto callback = std::move(timers_.begin()->second);
        timers_.erase(timers_.begin());
        callback();
    }
    return !exitStatus_;
}

int SimLoop::run(int fd, const std::function<void(std::string_view)>& onChunk, const std::function<void()>& onEnd) {
    std::array<char, 65536> buffer{};
    while (fireDueTimers()) {
        int timeoutMs = -1;
        if (!timers_.empty()) {
            const auto wait = timers_.begin()->first.first - Clock::now();
            // Round up so a timer is never polled for a moment before it is due.
            timeoutMs = static_cast<int>(
                std::clamp<Clock::rep>(std::chrono::ceil<std::chrono::milliseconds>(wait).count(), 0, 60'000));
        }
        pollfd entry{fd, POLLIN, 0};
        const int ready = ::poll(&entry, 1, timeoutMs);
        if (ready < 0) {
            if (errno == EINTR) continue;
            return 1;
        }
        if (ready == 0) continue;
        const ssize_t count = ::read(fd, buffer.data(), buffer.size());
        if (count < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            return 1;
        }
        if (count == 0) {
            onEnd();
            stop(0);
            break;
        }
        onChunk(std::string_view(buffer.data(), static_cast<std::size_t>(count)));
    }
    return exitStatus_.value_or(0);
}

}  // namespace corvane::sim
