// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Trimming of Unicode white space and line breaks from both ends of UTF-8
// text, as user input (message texts, recipients) is cleaned before use.
#include <string>
#include <string_view>

namespace corvane {

// Removes leading and trailing code points with the Unicode White_Space
// property (spaces of every width, tabs, line and paragraph breaks, NEL).
// Invalid UTF-8 sequences are kept, never trimmed.
std::string trimmedWhitespaceAndNewlines(std::string_view text);

}  // namespace corvane
