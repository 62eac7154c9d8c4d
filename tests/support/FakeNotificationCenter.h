// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A NotificationCenter that only records, for unit tests: every notification
// posted, in order, and how often authorization was asked for. Like the real
// one it reports nothing back. Single-threaded.
#include <functional>
#include <vector>

#include "app/ports/NotificationCenter.h"

namespace corvane {

class FakeNotificationCenter final : public NotificationCenter {
public:
    void requestAuthorization() override;
    void post(const LocalNotification& notification) override;

    std::vector<LocalNotification> posted;
    std::function<void(const LocalNotification&)> onPost;
    int authorizationRequests = 0;
};

}  // namespace corvane
