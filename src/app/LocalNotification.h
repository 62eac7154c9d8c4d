// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One local notification as an alert source hands it to the notification
// centre: delivered at once, nothing beyond these fields. A plain value.
#include <string>

namespace corvane {

struct LocalNotification {
    enum class Sound { standard, critical };

    std::string identifier;
    std::string title;
    std::string body;
    Sound sound = Sound::standard;

    friend bool operator==(const LocalNotification&, const LocalNotification&) = default;
};

}  // namespace corvane
