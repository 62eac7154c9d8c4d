// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The case of a text-valued enumeration whose raw value is `raw`, absent for
// any other text. `rawValue(Enum)` is found next to each enumeration.
#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

namespace corvane {

template <typename Enum, std::size_t N>
constexpr std::optional<Enum> fromRawValue(std::string_view raw, const std::array<Enum, N>& allCases) {
    for (const Enum value : allCases) {
        if (rawValue(value) == raw) return value;
    }
    return std::nullopt;
}

}  // namespace corvane
