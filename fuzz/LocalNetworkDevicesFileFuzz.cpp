// SPDX-License-Identifier: GPL-3.0-or-later
// Decodes arbitrary bytes as a known local network devices file.
#include "StoreFileFuzz.h"
#include "core/LocalNetworkDevice.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    corvane::checkStoreFile<corvane::LocalNetworkDevice>(data, size, corvane::LocalNetworkDevice::decodeFile);
    return 0;
}
