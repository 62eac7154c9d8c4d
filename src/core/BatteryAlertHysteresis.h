// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Whether a node's battery is low, with a margin so a level that wavers
// around the threshold alerts once: low at or below the threshold, well again
// only at the threshold plus kMargin or above. The level 101 is a node on
// external power: never low, and it ends a low state. A plain value per node.
#include <cstdint>
#include <optional>

namespace corvane {

class BatteryAlertHysteresis {
public:
    static constexpr std::uint32_t kMargin = 5;
    static constexpr std::uint32_t kPowered = 101;

    enum class Crossing { none, becameLow, recovered };

    // Feeds one reported level (absent: nothing reported, nothing changes).
    Crossing update(std::optional<std::uint32_t> level, std::uint32_t threshold);
    bool low() const { return low_; }

private:
    bool low_ = false;
};

}  // namespace corvane
