// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The symbols the windows show, by their symbol names ("bicycle",
// "arrow.clockwise"): monochrome SVGs of our own in a Qt resource, drawn in a
// colour of the current palette at paint time, so dark themes and disabled
// controls come out right. White parts of a symbol are cut out of it. GUI
// thread only.
#include <QColor>
#include <QIcon>
#include <QPalette>
#include <QString>

namespace corvane {

class SymbolIcon {
public:
    // Drawn in `role` of the application palette (disabled controls use the
    // disabled group).
    static QIcon icon(const QString& name, QPalette::ColorRole role = QPalette::WindowText);
    // Drawn in a fixed colour, for marks on coloured ground (the map).
    static QIcon icon(const QString& name, const QColor& color);
    static bool exists(const QString& name);
    // The application's own icon, for windows and the desktop.
    static QIcon applicationIcon();
};

}  // namespace corvane
