// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Hands every notification on to the desktop's notification centre and also
// prints it, so that an alert reaches a person watching the terminal even
// when no notification service runs (a Raspberry Pi beside the bicycle shed).
// Loop thread only.
#include <functional>
#include <string>

#include "app/ports/NotificationCenter.h"

namespace corvane {

class PrintingNotificationCenter final : public NotificationCenter {
public:
    using Printer = std::function<void(const std::string& line)>;

    PrintingNotificationCenter(NotificationCenter& next, Printer print) : next_(next), print_(std::move(print)) {}

    void requestAuthorization() override { next_.requestAuthorization(); }
    void post(const LocalNotification& notification) override {
        print_("Notification: " + notification.title + " — " + notification.body);
        next_.post(notification);
    }

private:
    NotificationCenter& next_;
    Printer print_;
};

}  // namespace corvane
