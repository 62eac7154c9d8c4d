// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/DoubleText.h"

#include <charconv>
#include <cmath>

namespace corvane {

std::string doubleDescription(double value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
    char buffer[40];
    // Plain notation below 2^53 keeps whole seconds readable as timestamps;
    // beyond that the shortest scientific form is the honest one.
    const auto format = std::fabs(value) < 9007199254740992.0 ? std::chars_format::fixed : std::chars_format::general;
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, format);
    if (result.ec != std::errc{}) result = std::to_chars(buffer, buffer + sizeof buffer, value);
    std::string text(buffer, result.ptr);
    if (text.find_first_of(".e") == std::string::npos) text += ".0";
    return text;
}

}  // namespace corvane
