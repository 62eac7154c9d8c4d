// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/BatteryAlertHysteresis.h"

namespace corvane {

BatteryAlertHysteresis::Crossing BatteryAlertHysteresis::update(std::optional<std::uint32_t> level,
                                                                std::uint32_t threshold) {
    if (!level) return Crossing::none;
    // Levels above 100 other than 101 are not percentages; treat them as
    // powered too rather than as a full battery that could never be low.
    const bool powered = *level > 100;
    if (!low_ && !powered && *level <= threshold) {
        low_ = true;
        return Crossing::becameLow;
    }
    if (low_ && (powered || *level >= threshold + kMargin)) {
        low_ = false;
        return Crossing::recovered;
    }
    return Crossing::none;
}

}  // namespace corvane
