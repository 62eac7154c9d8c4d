// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The colour for error texts. Qt's palette has no role for it (KDE's colour
// schemes call it "negative text"), and BrightText is meant for dark ground
// only, so it is derived from the window colour: a deep red on light ground,
// a light red on dark ground, each readable at the 4.5:1 contrast asked of
// body text.
#include <QColor>
#include <QPalette>

namespace corvane {

QColor negativeTextColor(const QPalette& palette);

}  // namespace corvane
