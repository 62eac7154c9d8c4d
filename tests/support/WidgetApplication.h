// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one QApplication of a test program that draws widgets. Never destroyed:
// tearing Qt down among the other static destructors crashes at exit.
#include <QApplication>

namespace corvane {

inline QApplication& widgetApplication() {
    static int argc = 1;
    static char name[] = "corvane-widget-test";
    static char* argv[] = {name, nullptr};
    if (QApplication::instance() == nullptr) new QApplication(argc, argv);
    return *qApp;
}

}  // namespace corvane
