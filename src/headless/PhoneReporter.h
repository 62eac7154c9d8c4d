// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The headless front end's view of alert delivery to the phone: one line
// "Phone: STATUS" whenever the status text changes (the daemon starting or
// stopping, the phone coming into reach, alerts waiting, sent or failed),
// with the reason after a failure, and the status at start. Compared once
// per loop turn, after the alert that changed it has been printed. Loop thread.
#include <functional>
#include <string>

#include "app/ChangeSignal.h"
#include "app/CoalescedTask.h"
#include "app/PhoneAlerts.h"
#include "app/ports/EventLoop.h"

namespace corvane {

class PhoneReporter {
public:
    using Printer = std::function<void(const std::string& line)>;

    PhoneReporter(PhoneAlerts& alerts, EventLoop& loop, Printer print);

private:
    void report();

    PhoneAlerts& alerts_;
    Printer print_;
    std::string shown_;
    CoalescedTask pendingReport_;
    ChangeSignal::Subscription subscription_;
};

}  // namespace corvane
