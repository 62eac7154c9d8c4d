// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The stand-in bridge's only thread: poll(2) over one input descriptor plus
// one-shot timers on the monotonic clock. Owned by main(); every callback runs
// on this loop, one at a time. Timers due at the same instant fire in the order
// they were started, so equal delays keep reply order.
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string_view>
#include <utility>

namespace corvane::sim {

class SimLoop {
public:
    using Clock = std::chrono::steady_clock;
    using TimerId = std::uint64_t;

    TimerId after(Clock::duration delay, std::function<void()> callback);
    void cancel(TimerId id);

    // Ends run() with this status once the current callback returns; the
    // first status set wins.
    void stop(int status);
    bool stopping() const { return exitStatus_.has_value(); }

    // Feeds `onChunk` with what arrives on `fd` until stop() or end of input
    // (`onEnd` runs, then the status is 0). A read error gives status 1.
    int run(int fd, const std::function<void(std::string_view)>& onChunk, const std::function<void()>& onEnd);

private:
    bool fireDueTimers();

    std::map<std::pair<Clock::time_point, TimerId>, std::function<void()>> timers_;
    TimerId nextId_ = 1;
    std::optional<int> exitStatus_;
};

}  // namespace corvane::sim
