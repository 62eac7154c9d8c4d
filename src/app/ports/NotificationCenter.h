// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where alert sources post local notifications. Fire-and-forget: posting
// reports nothing back, and a missing notification service is not an error
// the caller sees. Called on the loop thread only; implementations must not
// block it. Fakes record the calls.
#include "app/LocalNotification.h"

namespace corvane {

class NotificationCenter {
public:
    virtual ~NotificationCenter() = default;

    // Asked when the user switches an alert on; the answer is not used.
    virtual void requestAuthorization() = 0;
    // A repeated identifier replaces the earlier notification of that name.
    virtual void post(const LocalNotification& notification) = 0;
};

}  // namespace corvane
