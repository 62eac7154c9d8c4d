// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one place the headless front end writes to standard output: each line
// stamped with the local time and passed through terminalText(), so text from
// the mesh or the bridge can never act on the terminal or split a line. A
// write that fails (the reader went away: `corvane --headless | head -3`)
// calls `onBroken` once; later lines are dropped. Main thread only.
#include <cstdio>
#include <functional>
#include <string>

namespace corvane {

class TerminalPrinter {
public:
    TerminalPrinter(std::FILE* out, std::function<void()> onBroken) : out_(out), onBroken_(std::move(onBroken)) {}
    TerminalPrinter(const TerminalPrinter&) = delete;
    TerminalPrinter& operator=(const TerminalPrinter&) = delete;

    void print(const std::string& line);

private:
    std::FILE* out_;
    std::function<void()> onBroken_;
    bool broken_ = false;
};

}  // namespace corvane
