// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/QtEventLoop.h"

#include <QtGlobal>

#include <mutex>
#include <optional>
#include <utility>

#include <QByteArray>

#include <QObject>
#include <QPointer>
#include <QThreadPool>
#include <QTimer>

namespace corvane {

// Where pool threads deliver results: the loop's context while it lives.
// The lock keeps the context from going away during a delivery.
struct QtEventLoop::Inbox {
    std::mutex lock;
    QObject* context = nullptr;
};

QtEventLoop::QtEventLoop() : context_(std::make_unique<QObject>()), inbox_(std::make_shared<Inbox>()) {
    inbox_->context = context_.get();
}

QtEventLoop::~QtEventLoop() {
    const std::lock_guard held(inbox_->lock);
    inbox_->context = nullptr;
}

Timestamp QtEventLoop::now() const { return std::chrono::system_clock::now(); }

std::chrono::steady_clock::time_point QtEventLoop::monotonicNow() const { return std::chrono::steady_clock::now(); }

namespace {

// What QT_NO_GLIB was before preferUnixDispatcher(); absent when it was unset.
std::optional<QByteArray> savedNoGlib;
bool noGlibChanged = false;

}  // namespace

void QtEventLoop::preferUnixDispatcher() {
    if (!noGlibChanged && qEnvironmentVariableIsSet("QT_NO_GLIB")) savedNoGlib = qgetenv("QT_NO_GLIB");
    noGlibChanged = true;
    qputenv("QT_NO_GLIB", "1");
}

void QtEventLoop::restoreEnvironment() {
    if (!std::exchange(noGlibChanged, false)) return;
    if (savedNoGlib) {
        qputenv("QT_NO_GLIB", *savedNoGlib);
    } else {
        qunsetenv("QT_NO_GLIB");
    }
}

void QtEventLoop::post(Callback work) {
    QMetaObject::invokeMethod(context_.get(), std::move(work), Qt::QueuedConnection);
}

void QtEventLoop::runInBackground(std::function<Callback()> work) {
    QThreadPool::globalInstance()->start([inbox = inbox_, work = std::move(work)] {
        Callback result = work();
        const std::lock_guard held(inbox->lock);
        if (inbox->context) QMetaObject::invokeMethod(inbox->context, std::move(result), Qt::QueuedConnection);
    });
}

TimerHandle QtEventLoop::singleShot(Duration delay, Callback callback) {
    return startTimer(delay, true, std::move(callback));
}

TimerHandle QtEventLoop::repeating(Duration interval, Callback callback) {
    return startTimer(interval, false, std::move(callback));
}

TimerHandle QtEventLoop::startTimer(Duration interval, bool once, Callback callback) {
    // Shared by the timer's slot and the handle: a timeout already queued
    // when the handle is cancelled must not run the callback, and a timer
    // cancelled from inside its own callback must outlive that callback.
    struct State {
        QPointer<QTimer> timer;
        bool cancelled = false;
        bool firing = false;
    };
    auto state = std::make_shared<State>();
    auto* timer = new QTimer(context_.get());
    state->timer = timer;
    // Time-outs of a few seconds should not stretch by the 5 % a coarse
    // timer allows.
    timer->setTimerType(Qt::PreciseTimer);
    timer->setSingleShot(once);
    timer->setInterval(std::chrono::duration_cast<std::chrono::milliseconds>(std::max(interval, Duration::zero())));
    QObject::connect(timer, &QTimer::timeout, timer, [state, once, callback = std::move(callback)] {
        if (state->cancelled) return;
        if (once) state->cancelled = true;
        state->firing = true;
        callback();
        state->firing = false;
        if (once && state->timer) state->timer->deleteLater();
    });
    timer->start();
    return TimerHandle([state] {
        if (state->cancelled || !state->timer) {
            state->cancelled = true;
            return;
        }
        state->cancelled = true;
        state->timer->stop();
        // Deleting at once spares the loop a deferred-delete event per
        // request time-out; only a timer inside its own callback must wait.
        if (state->firing) state->timer->deleteLater();
        else delete state->timer.data();
    });
}

}  // namespace corvane
