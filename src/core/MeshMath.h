// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Geometry on mesh positions, free of state: great-circle distance on a sphere
// of the Earth's mean radius. Usable from any thread.
#include "core/MeshPosition.h"

namespace corvane::MeshMath {

// Haversine distance in metres over latitude and longitude only (altitude is
// ignored). Non-finite coordinates give NaN.
double distanceMeters(const MeshPosition& from, const MeshPosition& to);

// The north-south side, in metres, of the box a sender reports when it keeps
// only the leading `precisionBits` of its 1e-7 degree coordinates; the
// east-west side is shorter by the cosine of the latitude, so this is the
// box's larger side. 0 for an exact fix (32 or more bits); bits below 1 count
// as 1.
double precisionBoxMeters(std::uint32_t precisionBits);

// The precision box of `position`, or 0 when it is an exact fix.
double precisionBoxMeters(const MeshPosition& position);

}  // namespace corvane::MeshMath
