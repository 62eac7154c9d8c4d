// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Pieces every settings page and inspector is made of: a scrolling body
// filling its page, and wrapped explanatory text.
#include <QString>

class QLabel;
class QVBoxLayout;
class QWidget;

namespace corvane {

// Fills `page` with a frameless scroll area around a new body widget and
// returns the body's column (margins set, no closing stretch yet).
QVBoxLayout* scrollingColumn(QWidget& page);
// Wrapped plain text; muted for notes under a control.
QLabel* wrappedText(const QString& text, bool muted);

}  // namespace corvane
