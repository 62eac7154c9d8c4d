// SPDX-License-Identifier: GPL-3.0-or-later
// Decodes arbitrary bytes as a whole messages file.
#include "StoreFileFuzz.h"
#include "core/MessageStore.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    corvane::checkStoreFile<corvane::MessageStore>(data, size, corvane::decodeMessagesFile);
    return 0;
}
