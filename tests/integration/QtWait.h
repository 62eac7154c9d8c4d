// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the integration tests share for waiting on Qt's loop: the one
// QCoreApplication of the test program, a bounded wait for a condition, and
// a D-Bus call answered on the loop.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <functional>

namespace corvane {

inline void ensureApplication() {
    static int argc = 1;
    static char name[] = "corvane_integration_test";
    static char* argv[] = {name, nullptr};
    if (QCoreApplication::instance() == nullptr) new QCoreApplication(argc, argv);
}

// Runs Qt's loop until `done` holds or `limit` passes; true when it held.
inline bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(3)) {
    if (done()) return true;
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done()) loop.quit();
    });
    poll.start(5);
    QTimer::singleShot(limit, &loop, &QEventLoop::quit);
    loop.exec();
    return done();
}

// Sends `call` and runs the loop until its reply; the finished notice comes
// after those of replies that arrived earlier on the connection, so the code
// under test has seen them by then.
inline QDBusMessage callAndWait(const QDBusConnection& bus, const QDBusMessage& call) {
    QDBusPendingCallWatcher watcher(bus.asyncCall(call));
    bool finished = false;
    QObject::connect(&watcher, &QDBusPendingCallWatcher::finished, [&finished] { finished = true; });
    runUntil([&finished] { return finished; });
    return watcher.reply();
}

}  // namespace corvane
