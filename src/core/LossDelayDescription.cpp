// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/LossDelayDescription.h"

#include <cmath>
#include <cstdint>

namespace corvane {

std::string lossDelayDescription(double seconds) {
    // Saturate before rounding: llround of a value beyond 64 bits is undefined.
    constexpr double kLimit = 9e18;
    const double bounded = std::isnan(seconds) ? 0 : std::fmax(-kLimit, std::fmin(kLimit, seconds));
    const std::int64_t n = std::llround(bounded);
    if (n < 60) return std::to_string(n) + " seconds";
    if (n == 60) return "1 minute";
    if (n < 3600) return std::to_string(n / 60) + " minutes";
    if (n == 3600) return "1 hour";
    if (n < 86400) return std::to_string(n / 3600) + " hours";
    if (n == 86400) return "1 day";
    return std::to_string(n / 86400) + " days";
}

}  // namespace corvane
