// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// When a mesh node counts as silent, in pure terms: the instant it was last
// heard on the monotonic clock, the delay the user chose and the earliest
// moment an alert may come (a wake from sleep or a radio that just came back
// pushes it out, since nothing could be heard before). Also the words for a
// delay in alert texts. Stateless.
#include <chrono>
#include <optional>
#include <string>

#include "core/DateTime.h"
#include "core/GuardProfile.h"

namespace corvane {

struct MeshSilenceRule {
    using Clock = std::chrono::steady_clock;

    // What the guarded node's silence alert waits for when the user set no
    // shorter delay of its own.
    static std::chrono::seconds guardedDelay(GuardProfile profile);

    // The monotonic instant a node line stands for: its `lastSeen` when it
    // lies in the past (a node database replayed at connect is old news),
    // else now. The wall clock only gives the age; the age is then taken
    // off the monotonic clock, so later wall-clock jumps change nothing.
    static Clock::time_point heardAt(Clock::time_point monotonicNow, Timestamp wallNow,
                                     std::optional<Timestamp> lastSeen);

    // When silence is declared: `delay` after the node was heard, but not
    // before `notBefore`.
    static Clock::time_point deadline(Clock::time_point heard, std::chrono::seconds delay,
                                      Clock::time_point notBefore);

    // "15 min", "1 h", "1 h 30 min", "45 s".
    static std::string delayText(std::chrono::seconds delay);
};

}  // namespace corvane
