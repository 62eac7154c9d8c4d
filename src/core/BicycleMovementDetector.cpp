// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/BicycleMovementDetector.h"

#include "core/MeshMath.h"

namespace corvane {

BicycleMovementDetector::BicycleMovementDetector(int requiredOutsidePositions)
    : requiredOutsidePositions_(requiredOutsidePositions >= 3 ? requiredOutsidePositions : 2) {}

BicycleMovementResult BicycleMovementDetector::evaluate(const MeshPosition& position,
                                                        const MeshPosition& parkedAt, double radius) {
    if (!(position.timestamp > parkedAt.timestamp)) return BicycleMovementResult::ignored();
    const Coordinate coordinate{position.latitude, position.longitude};
    if (lastCoordinate_ == coordinate) return BicycleMovementResult::ignored();
    lastCoordinate_ = coordinate;

    const double distance = MeshMath::distanceMeters(parkedAt, position);
    // Written as "not outside" so that NaN lands inside.
    if (!(distance > radius)) {
        outsideCount_ = 0;
        return BicycleMovementResult::inside(distance);
    }
    ++outsideCount_;
    if (outsideCount_ < requiredOutsidePositions_) {
        return BicycleMovementResult::confirming(distance, outsideCount_, requiredOutsidePositions_);
    }
    return BicycleMovementResult::moved(distance);
}

void BicycleMovementDetector::reset() {
    outsideCount_ = 0;
    lastCoordinate_.reset();
}

}  // namespace corvane
