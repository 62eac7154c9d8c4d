// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Whole-text number parsing for option values and script directives: the
// entire text must be the number, nothing before or after it.
#include <charconv>
#include <optional>
#include <string_view>
#include <system_error>

namespace corvane::sim {

template <typename Number>
std::optional<Number> parseNumber(std::string_view text) {
    Number value{};
    const auto* end = text.data() + text.size();
    const auto [next, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || next != end || text.empty()) return std::nullopt;
    return value;
}

}  // namespace corvane::sim
