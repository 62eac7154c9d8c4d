// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Geometry on mesh positions, free of state: great-circle distance on a sphere
// of the Earth's mean radius. Usable from any thread.
#include "core/MeshPosition.h"

namespace corvane::MeshMath {

// Haversine distance in metres over latitude and longitude only (altitude is
// ignored). Non-finite coordinates give NaN.
double distanceMeters(const MeshPosition& from, const MeshPosition& to);

}  // namespace corvane::MeshMath
