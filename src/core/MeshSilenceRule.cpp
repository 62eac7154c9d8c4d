// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/MeshSilenceRule.h"

#include <algorithm>

namespace corvane {

std::chrono::seconds MeshSilenceRule::guardedDelay(GuardProfile profile) {
    // Two missed broadcasts: a tracker on a parked bicycle sends its position
    // every 15 minutes by default; other devices are counted on for their
    // device telemetry, every 30 minutes by default.
    return profile == GuardProfile::bicycle ? std::chrono::minutes(30) : std::chrono::hours(1);
}

MeshSilenceRule::Clock::time_point MeshSilenceRule::heardAt(Clock::time_point monotonicNow, Timestamp wallNow,
                                                            std::optional<Timestamp> lastSeen) {
    if (!lastSeen || *lastSeen >= wallNow) return monotonicNow;
    const auto age = std::chrono::duration_cast<Clock::duration>(wallNow - *lastSeen);
    // An age beyond the monotonic clock's own span (it starts near boot) is
    // simply "long ago".
    const auto span = monotonicNow.time_since_epoch();
    return monotonicNow - std::min(age, span);
}

MeshSilenceRule::Clock::time_point MeshSilenceRule::deadline(Clock::time_point heard, std::chrono::seconds delay,
                                                             Clock::time_point notBefore) {
    return std::max(heard + delay, notBefore);
}

std::string MeshSilenceRule::delayText(std::chrono::seconds delay) {
    const auto total = delay.count();
    if (total < 60) return std::to_string(total) + " s";
    const auto hours = total / 3600;
    const auto minutes = (total % 3600) / 60;
    if (hours == 0) return std::to_string(minutes) + " min";
    if (minutes == 0) return std::to_string(hours) + " h";
    return std::to_string(hours) + " h " + std::to_string(minutes) + " min";
}

}  // namespace corvane
