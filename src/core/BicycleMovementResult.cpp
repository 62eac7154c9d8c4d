// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/BicycleMovementResult.h"

#include <cstdio>

namespace corvane {

namespace {

std::string formatDistance(double distance) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.1f", distance);
    return buffer;
}

}  // namespace

std::string BicycleMovementResult::description() const {
    switch (kind_) {
    case Kind::inside: return "inside(" + formatDistance(distance_) + ")";
    case Kind::confirming:
        return "confirming(" + formatDistance(distance_) + ", " + std::to_string(count_) + ", " +
               std::to_string(required_) + ")";
    case Kind::moved: return "moved(" + formatDistance(distance_) + ")";
    case Kind::ignored: return "ignored";
    }
    return {};
}

}  // namespace corvane
