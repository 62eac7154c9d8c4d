// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the integration tests share for waiting on Qt's loop: the one
// QCoreApplication of the test program, and a bounded wait for a condition.
#include <QCoreApplication>
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

}  // namespace corvane
