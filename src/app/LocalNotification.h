// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One local notification as an alert source hands it to the notification
// centre: delivered at once, nothing beyond these fields. A plain value.
// Alerts (a guard, watcher or departure raising the alarm) also go to the
// user's phone; incoming mesh text is shown only here.
#include <string>

namespace corvane {

struct LocalNotification {
    enum class Sound { standard, critical };
    enum class Kind { alert, meshMessage };

    std::string identifier;
    std::string title;
    std::string body;
    Sound sound = Sound::standard;
    Kind kind = Kind::alert;

    friend bool operator==(const LocalNotification&, const LocalNotification&) = default;
};

}  // namespace corvane
