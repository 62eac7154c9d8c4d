// SPDX-License-Identifier: GPL-3.0-or-later
#include "headless/TerminalPrinter.h"

#include <ctime>

#include "headless/TerminalText.h"

namespace corvane {

void TerminalPrinter::print(const std::string& line) {
    if (broken_) return;
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[16];
    std::strftime(stamp, sizeof stamp, "%H:%M:%S", &local);
    const std::string text = std::string(stamp) + " " + terminalText(line) + "\n";
    const bool written = std::fputs(text.c_str(), out_) >= 0 && std::fflush(out_) == 0;
    if (written) return;
    broken_ = true;
    if (onBroken_) onBroken_();
}

}  // namespace corvane
