#include "platform/QtEventLoop.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

namespace corvane {

QtEventLoop::QtEventLoop() : context_(std::make_unique<QObject>()) {}

QtEventLoop::~QtEventLoop() = default;

Timestamp QtEventLoop::now() const { return std::chrono::system_clock::now(); }

std::chrono::steady_clock::time_point QtEventLoop::monotonicNow() const { return std::chrono::steady_clock::now(); }

void QtEventLoop::post(Callback work) {
    QMetaObject::invokeMethod(context_.get(), std::move(work), Qt::QueuedConnection);
}

TimerHandle QtEventLoop::singleShot(Duration delay, Callback callback) {
    return startTimer(delay, true, std::move(callback));
}

TimerHandle QtEventLoop::repeating(Duration interval, Callback callback) {
    return startTimer(interval, false, std::move(callback));
}

TimerHandle QtEventLoop::startTimer(Duration interval, bool once, Callback callback) {
    auto* timer = new QTimer(context_.get());
    // Time-outs of a few seconds should not stretch by the 5 % a coarse
    // timer allows.
    timer->setTimerType(Qt::PreciseTimer);
    timer->setSingleShot(once);
    timer->setInterval(std::chrono::duration_cast<std::chrono::milliseconds>(std::max(interval, Duration::zero())));
    // A timeout already queued when the handle is cancelled must not run the
    // callback; the flag outlives both timer and handle.
    auto cancelled = std::make_shared<bool>(false);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, once, cancelled, callback = std::move(callback)] {
        if (*cancelled) return;
        if (once) {
            *cancelled = true;
            timer->deleteLater();
        }
        // A copy: the callback may cancel its own timer.
        auto run = callback;
        run();
    });
    timer->start();
    return TimerHandle([guard = QPointer<QTimer>(timer), cancelled] {
        if (*cancelled) return;
        *cancelled = true;
        if (guard) {
            guard->stop();
            guard->deleteLater();
        }
    });
}

}  // namespace corvane
