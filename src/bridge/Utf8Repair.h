// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Radio text (node names, channel names, messages) arrives as bytes; a node
// that cut a name in the middle of a character sends ill-formed UTF-8. The JSON
// side only carries valid UTF-8, so each ill-formed sequence becomes U+FFFD
// (the maximal-subpart rule of Unicode), keeping the rest of the text.
#include <string>
#include <string_view>

namespace corvane::bridge {

std::string repairedUtf8(std::string_view bytes);

}  // namespace corvane::bridge
