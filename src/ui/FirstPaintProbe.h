// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// For start-up measurements: prints "first-paint" on standard output when
// the watched window is first painted, then quits the application. Used by
// `corvane` when CORVANE_EXIT_AFTER_FIRST_PAINT is set and by the bare
// window the benchmark compares it with.
#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QTimer>
#include <cstdio>

namespace corvane {

class FirstPaintProbe : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !seen_) {
            seen_ = true;
            std::fputs("first-paint\n", stdout);
            std::fflush(stdout);
            QTimer::singleShot(0, QCoreApplication::instance(), &QCoreApplication::quit);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool seen_ = false;
};

}  // namespace corvane
