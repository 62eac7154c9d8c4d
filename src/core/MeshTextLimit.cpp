// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/MeshTextLimit.h"

namespace corvane {
namespace {
constexpr std::uint32_t kBroadcast = 0xFFFFFFFFu;
}

std::size_t meshTextLimitBytes(std::optional<std::uint32_t> recipient) {
    return recipient && *recipient != kBroadcast ? kDirectTextLimitBytes : kChannelTextLimitBytes;
}

std::optional<std::string> meshTextTooLong(std::string_view text, std::optional<std::uint32_t> recipient) {
    const std::size_t limit = meshTextLimitBytes(recipient);
    if (text.size() <= limit) return std::nullopt;
    const bool direct = limit == kDirectTextLimitBytes;
    return "Too long to send: " + std::to_string(text.size()) + " bytes; a " +
           (direct ? "direct message" : "channel message") + " holds at most " + std::to_string(limit) + ".";
}

}  // namespace corvane
