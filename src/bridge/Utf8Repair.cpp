// SPDX-License-Identifier: GPL-3.0-or-later
#include "Utf8Repair.h"

#include <cstddef>
#include <cstdint>

namespace corvane::bridge {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// Length of the well-formed sequence at `i`, or 0 with `consumed` set to the
// maximal subpart to replace.
std::size_t sequenceLength(std::string_view s, std::size_t i, std::size_t& consumed) {
    const auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(s[k]); };
    const std::uint8_t lead = byte(i);
    std::size_t need = 0;
    std::uint8_t low = 0x80;
    std::uint8_t high = 0xBF;
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        need = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        need = 2;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        need = 3;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        consumed = 1;
        return 0;
    }
    std::size_t k = 1;
    for (; k <= need; ++k) {
        if (i + k >= s.size()) break;
        const std::uint8_t next = byte(i + k);
        const std::uint8_t min = k == 1 ? low : std::uint8_t{0x80};
        const std::uint8_t max = k == 1 ? high : std::uint8_t{0xBF};
        if (next < min || next > max) break;
    }
    if (k > need) return need + 1;
    consumed = k;
    return 0;
}

}  // namespace

std::string repairedUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        std::size_t consumed = 0;
        if (const std::size_t length = sequenceLength(bytes, i, consumed); length > 0) {
            out.append(bytes.substr(i, length));
            i += length;
        } else {
            out.append(kReplacement);
            i += consumed;
        }
    }
    return out;
}

}  // namespace corvane::bridge
