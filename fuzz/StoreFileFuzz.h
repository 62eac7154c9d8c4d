// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Shared check of the store fuzz targets: whatever decodes as a whole store
// file must encode, and the encoded text must decode to the same records and
// encode to the same bytes again (dates are normalised to whole seconds on the
// first encode, so stability is checked from there on).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace corvane {

template <typename Store, typename DecodeFile>
void checkStoreFile(const std::uint8_t* data, std::size_t size, DecodeFile decodeFile) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto records = decodeFile(input);
    if (!records) return;
    const auto first = Store::encodeFile(*records);
    if (!first) std::abort();
    const auto normalised = decodeFile(*first);
    if (!normalised || normalised->size() != records->size()) std::abort();
    const auto second = Store::encodeFile(*normalised);
    if (!second || *second != *first) std::abort();
    const auto again = decodeFile(*second);
    if (!again || *again != *normalised) std::abort();
}

}  // namespace corvane
