// SPDX-License-Identifier: GPL-3.0-or-later
// Our UUID parser against libuuid's on the same text: both must accept the
// same inputs and agree on the value, and ours must stay inside the input.
#include <uuid/uuid.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "core/Uuid.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // An exact-size heap copy, so that AddressSanitizer catches any read past it.
    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto ours = corvane::Uuid::parse(std::string_view(text.data(), text.size()));
    // libuuid reads up to a NUL: text containing one ends early there, which
    // is a different text to it and one ours rejects as a non-digit anyway.
    uuid_t theirs;
    const bool theirsAccepts = uuid_parse(text.c_str(), theirs) == 0 && std::strlen(text.c_str()) == size;
    if (ours.has_value() != theirsAccepts) std::abort();
    if (ours && std::memcmp(ours->bytes.data(), theirs, sizeof theirs) != 0) std::abort();
    return 0;
}
