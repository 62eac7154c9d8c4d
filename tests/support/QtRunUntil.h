#pragma once
// For tests against real buses and processes: the QCoreApplication they
// need, and running Qt's loop until a condition holds or a limit passes
// (polling every millisecond or so). Header-only, so the Qt-free support
// library stays free of Qt.
#include <chrono>
#include <functional>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

namespace corvane {

inline QCoreApplication& testApplication() {
    static int argc = 1;
    static char name[] = "corvane-test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

// True when `done` held before `limit` passed.
inline bool runUntil(const std::function<bool()>& done,
                     std::chrono::milliseconds limit = std::chrono::seconds(3),
                     std::chrono::milliseconds poll = std::chrono::milliseconds(2)) {
    if (done()) return true;
    QEventLoop loop;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
        if (done()) loop.quit();
    });
    timer.start(poll);
    QTimer::singleShot(limit, &loop, &QEventLoop::quit);
    loop.exec();
    return done();
}

}  // namespace corvane
