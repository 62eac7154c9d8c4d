// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/TextTrim.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

// ICU's UTF-8 iteration macros cast in C style.
#pragma GCC diagnostic ignored "-Wold-style-cast"

namespace corvane {
namespace {

bool isWhite(UChar32 c) { return c >= 0 && u_isUWhiteSpace(c); }

}  // namespace

std::string trimmedWhitespaceAndNewlines(std::string_view text) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto length = static_cast<std::int32_t>(text.size());
    std::int32_t begin = 0;
    while (begin < length) {
        std::int32_t next = begin;
        UChar32 c = 0;
        U8_NEXT(bytes, next, length, c);
        if (!isWhite(c)) break;
        begin = next;
    }
    std::int32_t end = length;
    while (end > begin) {
        std::int32_t previous = end;
        UChar32 c = 0;
        U8_PREV(bytes, begin, previous, c);
        if (!isWhite(c)) break;
        end = previous;
    }
    return std::string(text.substr(static_cast<std::size_t>(begin), static_cast<std::size_t>(end - begin)));
}

}  // namespace corvane
