// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The notification centre every alert source posts to: hands each
// notification on to the desktop's centre, and each alert (not mesh text)
// also to the phone, as the one line "title: body". Owned by CorvaneModel
// beside the PhoneAlerts it feeds; loop thread only.
#include "app/PhoneAlerts.h"
#include "app/ports/NotificationCenter.h"

namespace corvane {

class PhoneAlertForwarder final : public NotificationCenter {
public:
    PhoneAlertForwarder(NotificationCenter& desktop, PhoneAlerts& phone) : desktop_(desktop), phone_(phone) {}

    void requestAuthorization() override { desktop_.requestAuthorization(); }
    void post(const LocalNotification& notification) override {
        desktop_.post(notification);
        if (notification.kind == LocalNotification::Kind::alert) phone_.send(notification.title + ": " + notification.body);
    }

private:
    NotificationCenter& desktop_;
    PhoneAlerts& phone_;
};

}  // namespace corvane
