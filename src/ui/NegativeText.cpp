// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/NegativeText.h"

namespace corvane {

QColor negativeTextColor(const QPalette& palette) {
    const bool darkGround = palette.color(QPalette::Window).lightness() < 128;
    return darkGround ? QColor(0xff, 0x8a, 0x80) : QColor(0xb0, 0x1e, 0x1e);
}

}  // namespace corvane
