// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/FakeNotificationCenter.h"

namespace corvane {

void FakeNotificationCenter::requestAuthorization() { ++authorizationRequests; }

void FakeNotificationCenter::post(const LocalNotification& notification) {
    posted.push_back(notification);
    if (onPost) onPost(notification);
}

}  // namespace corvane
