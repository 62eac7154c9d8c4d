// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The adapters' one way to call a D-Bus method: sent without waiting, the
// reply (or error) handed to `done` on the loop; nothing is called once
// `context` (the adapter) is gone. Loop thread only.
#include <functional>
#include <utility>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QObject>

namespace corvane {

inline void callDBus(QDBusConnection& bus, const QDBusMessage& message, QObject* context,
                     std::function<void(const QDBusMessage&)> done) {
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(message), context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
                     [done = std::move(done)](QDBusPendingCallWatcher* finished) {
                         finished->deleteLater();
                         done(finished->reply());
                     });
}

}  // namespace corvane
