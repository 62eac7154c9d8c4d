// SPDX-License-Identifier: GPL-3.0-or-later
// The reference of ui.coldStart: an empty Qt Widgets main window of the same
// size, started and measured the same way as `corvane` (first paint).
#include <QApplication>
#include <QMainWindow>

#include "ui/FirstPaintProbe.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Corvane"));
    window.resize(1320, 820);
    corvane::FirstPaintProbe probe;
    window.installEventFilter(&probe);
    window.show();
    return QApplication::exec();
}
