// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Wake events from logind: PrepareForSleep(false) on the system bus, sent
// when the machine has resumed. Without logind nothing is reported.
// Loop thread only.
#include <QDBusConnection>
#include <QObject>

#include "app/ports/WakeMonitor.h"

namespace corvane {

class LogindWakeMonitor final : public QObject, public WakeMonitor {
public:
    explicit LogindWakeMonitor(const QDBusConnection& bus = QDBusConnection::systemBus());
    ~LogindWakeMonitor() override { onWake_ = {}; }

    void setHandler(std::function<void()> onWake) override { onWake_ = std::move(onWake); }

private:
    std::function<void()> onWake_;
};

}  // namespace corvane
