// SPDX-License-Identifier: GPL-3.0-or-later
// Decodes arbitrary bytes as a whole positions file.
#include "StoreFileFuzz.h"
#include "core/PositionStore.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    corvane::checkStoreFile<corvane::PositionStore>(data, size, corvane::decodePositionsFile);
    return 0;
}
