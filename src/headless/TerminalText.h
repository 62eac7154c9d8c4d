// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the headless front end writes to the terminal is text from the mesh
// (node names, hardware names, messages) and from the bridge; a control
// character in it could move the cursor, recolour or clear the screen, or
// split one report into several lines. terminalText() makes every such
// character visible instead: C0 controls, DEL and C1 controls as "\xNN" (the
// common ones as "\n", "\r", "\t"), the Unicode line and paragraph separators
// as "\u2028" and "\u2029", and each byte of invalid UTF-8 as "\xNN". The
// backslash itself is left alone: it changes nothing on a terminal. Pure; any
// thread.
#include <string>
#include <string_view>

namespace corvane {

std::string terminalText(std::string_view text);

}  // namespace corvane
