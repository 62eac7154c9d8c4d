// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/MeshMath.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace corvane::MeshMath {

namespace {

constexpr double kEarthDiameterMeters = 12742000.0;

double radians(double degrees) { return degrees * std::numbers::pi / 180.0; }

double squared(double value) { return value * value; }

}  // namespace

double distanceMeters(const MeshPosition& from, const MeshPosition& to) {
    const double phi1 = radians(from.latitude);
    const double phi2 = radians(to.latitude);
    const double deltaPhi = radians(to.latitude - from.latitude);
    const double deltaLambda = radians(to.longitude - from.longitude);
    const double h = squared(std::sin(deltaPhi / 2)) +
                     std::cos(phi1) * std::cos(phi2) * squared(std::sin(deltaLambda / 2));
    return kEarthDiameterMeters * std::atan2(std::sqrt(h), std::sqrt(1 - h));
}

double precisionBoxMeters(std::uint32_t precisionBits) {
    if (precisionBits >= 32) return 0;
    const std::uint32_t droppedBits = 32 - std::max<std::uint32_t>(precisionBits, 1);
    const double sideDegrees = std::ldexp(1e-7, static_cast<int>(droppedBits));
    return radians(sideDegrees) * kEarthDiameterMeters / 2;
}

double precisionBoxMeters(const MeshPosition& position) {
    return position.precisionBits ? precisionBoxMeters(*position.precisionBits) : 0;
}

}  // namespace corvane::MeshMath
