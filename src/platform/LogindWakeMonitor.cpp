// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/LogindWakeMonitor.h"

#include "platform/DBusSignalRelay.h"

namespace corvane {

LogindWakeMonitor::LogindWakeMonitor(const QDBusConnection& bus) {
    auto* relay = new DBusSignalRelay(bus, [this](const QDBusMessage& message) {
        if (!message.arguments().value(0).toBool() && onWake_) onWake_();
    }, this);
    relay->listen(QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
                  QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"));
}

}  // namespace corvane
