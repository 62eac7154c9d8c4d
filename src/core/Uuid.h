// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A 128-bit UUID value: identity of positions, messages and bridge requests.
// Parsed from the canonical 36-character text in either letter case and always
// written in upper case, so that two spellings of one UUID compare equal.
// The parser is our own, as store loading parses one per record; random ones
// are version 4 from the kernel's generator, fetched in pages; libuuid writes
// the text.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace corvane {

struct Uuid {
    std::array<std::uint8_t, 16> bytes{};

    static Uuid random();
    static std::optional<Uuid> parse(std::string_view text);

    std::string string() const;

    friend bool operator==(const Uuid&, const Uuid&) = default;
    friend auto operator<=>(const Uuid&, const Uuid&) = default;
};

struct UuidHash {
    std::size_t operator()(const Uuid& uuid) const noexcept;
};

}  // namespace corvane
