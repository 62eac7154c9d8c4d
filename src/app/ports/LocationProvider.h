// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// This computer's approximate location, one fix at a time. Used on the loop
// thread only. Contract that adapters and fakes keep:
// - authorization() starts notDetermined or at a known answer; asking
//   (requestWhenInUseAuthorization) reports the answer through
//   onAuthorizationChange;
// - requestLocation() gives one fix through onLocations or one error through
//   onError; an error with code 0 means "no fix this time" and is harmless;
// - stopUpdatingLocation() drops any request still running;
// - handlers are called from the loop, never from inside a call of this port,
//   and never after setHandlers({}) or destruction.
#include <functional>
#include <string>
#include <vector>

#include "core/DateTime.h"

namespace corvane {

enum class LocationAuthorization { notDetermined, authorized, denied };

struct LocationFix {
    double latitude = 0;
    double longitude = 0;
    // Metres; negative when the fix is not valid.
    double horizontalAccuracy = 0;
    Timestamp timestamp;
};

struct LocationError {
    int code = 0;
    std::string description;
};

class LocationProvider {
public:
    struct Handlers {
        std::function<void(LocationAuthorization)> onAuthorizationChange;
        std::function<void(const std::vector<LocationFix>&)> onLocations;
        std::function<void(const LocationError&)> onError;
    };

    virtual ~LocationProvider() = default;

    virtual void setHandlers(Handlers handlers) = 0;
    virtual LocationAuthorization authorization() const = 0;
    virtual void requestWhenInUseAuthorization() = 0;
    virtual void requestLocation() = 0;
    virtual void stopUpdatingLocation() = 0;
};

}  // namespace corvane
