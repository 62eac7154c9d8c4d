// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The verdict of BicycleMovementDetector on one position fix: the fix lies
// inside the guarded circle, is one of a run of outside fixes still being
// confirmed, confirms movement, or was ignored. A plain value; equality covers
// the case and its payload (fields a case does not carry are held at zero).
#include <string>

namespace corvane {

class BicycleMovementResult {
public:
    enum class Kind { inside, confirming, moved, ignored };

    static BicycleMovementResult inside(double distance) { return {Kind::inside, distance, 0, 0}; }
    static BicycleMovementResult confirming(double distance, int count, int required) {
        return {Kind::confirming, distance, count, required};
    }
    static BicycleMovementResult moved(double distance) { return {Kind::moved, distance, 0, 0}; }
    static BicycleMovementResult ignored() { return {Kind::ignored, 0, 0, 0}; }

    Kind kind() const { return kind_; }
    // Metres from the mark; 0 for `ignored`.
    double distance() const { return distance_; }
    // Run length so far and run length needed; both 0 unless `confirming`.
    int count() const { return count_; }
    int required() const { return required_; }

    // For logs and test failures, e.g. "confirming(80.0, 1, 2)".
    std::string description() const;

    friend bool operator==(const BicycleMovementResult&, const BicycleMovementResult&) = default;

private:
    BicycleMovementResult(Kind kind, double distance, int count, int required)
        : kind_(kind), distance_(distance), count_(count), required_(required) {}

    Kind kind_;
    double distance_;
    int count_;
    int required_;
};

}  // namespace corvane
