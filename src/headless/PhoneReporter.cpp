// SPDX-License-Identifier: GPL-3.0-or-later
#include "headless/PhoneReporter.h"

#include "headless/TerminalText.h"

namespace corvane {

PhoneReporter::PhoneReporter(PhoneAlerts& alerts, EventLoop& loop, Printer print)
    : alerts_(alerts),
      print_(std::move(print)),
      pendingReport_(loop, [this] { report(); }),
      subscription_(alerts.changed().subscribe([this] { pendingReport_.request(); })) {
    // A daemon that is not running never changes: its status is the news.
    pendingReport_.request();
}

void PhoneReporter::report() {
    std::string line = "Phone: " + alerts_.status();
    if (alerts_.lastError() && alerts_.status() == "Last delivery failed") line += " (" + *alerts_.lastError() + ")";
    if (line == shown_) return;
    shown_ = line;
    print_(line);
}

}  // namespace corvane
