// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The production EventLoop: Qt's event loop of the thread that creates it
// (the main thread). Timers are QTimers parented to an internal context
// object, so they die with the loop; posted work is a queued call on that
// context. Create, use and destroy it on that one thread; objects holding its
// timer handles are destroyed before it. Background work runs on Qt's global
// thread pool; a result that arrives after the loop is gone is dropped.
#include <memory>

#include "app/ports/EventLoop.h"

class QObject;

namespace corvane {

class QtEventLoop final : public EventLoop {
public:
    QtEventLoop();
    ~QtEventLoop() override;

    // Chooses Qt's plain Unix event dispatcher over the GLib one; call before
    // the QCoreApplication exists. The GLib dispatcher wakes itself through an
    // eventfd around every posted call, which costs three system calls per
    // bridge round trip; a program without widgets has no use for GLib's loop.
    static void preferUnixDispatcher();
    // Call once the QCoreApplication exists: the choice is made by then, and
    // the environment children inherit is the user's again.
    static void restoreEnvironment();

    Timestamp now() const override;
    std::chrono::steady_clock::time_point monotonicNow() const override;

    void post(Callback work) override;
    TimerHandle singleShot(Duration delay, Callback callback) override;
    TimerHandle repeating(Duration interval, Callback callback) override;
    void runInBackground(std::function<Callback()> work) override;

private:
    struct Inbox;

    TimerHandle startTimer(Duration interval, bool once, Callback callback);

    std::unique_ptr<QObject> context_;
    std::shared_ptr<Inbox> inbox_;
};

}  // namespace corvane
