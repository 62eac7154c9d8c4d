// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How much text one mesh packet carries. The radio adds its own header and,
// for a direct message, the encryption overhead; a longer text is refused by
// the firmware, so it is refused here before it is sent.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace corvane {

inline constexpr std::size_t kChannelTextLimitBytes = 232;
inline constexpr std::size_t kDirectTextLimitBytes = 220;

// The limit in UTF-8 bytes for a text to `recipient` (absent or the broadcast
// number: a channel message).
std::size_t meshTextLimitBytes(std::optional<std::uint32_t> recipient);

// The text telling the user why `text` cannot be sent, or absent when it fits.
std::optional<std::string> meshTextTooLong(std::string_view text, std::optional<std::uint32_t> recipient);

}  // namespace corvane
