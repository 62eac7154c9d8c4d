// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Decides whether a guarded mesh node has left its parked circle. Radio fixes
// are noisy and repeat, so movement is confirmed only after a run of
// consecutive outside fixes; fixes not newer than the mark and exact repeats
// of the previous coordinates are ignored without touching the run.
// A value type, owned by whoever guards the device (it resets the detector
// whenever the mark or the device changes); not persisted, not thread-safe.
#include <optional>

#include "core/BicycleMovementResult.h"
#include "core/MeshPosition.h"

namespace corvane {

class BicycleMovementDetector {
public:
    struct Coordinate {
        double latitude = 0;
        double longitude = 0;
        friend bool operator==(const Coordinate&, const Coordinate&) = default;
    };

    // A lone outside fix must never count as movement, so anything below 3
    // is stored as 2.
    explicit BicycleMovementDetector(int requiredOutsidePositions = 2);

    int requiredOutsidePositions() const { return requiredOutsidePositions_; }
    int outsideCount() const { return outsideCount_; }
    const std::optional<Coordinate>& lastCoordinate() const { return lastCoordinate_; }

    // `radius` in metres; a distance of NaN counts as inside.
    BicycleMovementResult evaluate(const MeshPosition& position, const MeshPosition& parkedAt, double radius);
    void reset();

private:
    int requiredOutsidePositions_;
    int outsideCount_ = 0;
    std::optional<Coordinate> lastCoordinate_;
};

}  // namespace corvane
