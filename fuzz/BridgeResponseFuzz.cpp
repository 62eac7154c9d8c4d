// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes through the line splitter and the response decoder, as
// bridge output arrives. Whatever decodes must encode, and its encoding must
// be a fixed point (sub-second times and float widths settle after one trip).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/LineSplitter.h"
#include "core/MeshtasticBridgeRequest.h"
#include "core/MeshtasticBridgeResponse.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace corvane;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    LineSplitter splitter(4096);
    const auto onLine = [](std::string_view line) {
        if (const auto response = decodeMeshtasticBridgeResponse(line)) {
            const auto encoded = encodeLine(*response);
            if (!encoded) std::abort();
            const auto again = decodeMeshtasticBridgeResponse(*encoded);
            if (!again || encodeLine(*again) != encoded) std::abort();
        }
        (void)decodeMeshtasticBridgeRequest(line);
    };
    // Split the input at a data-chosen point so chunk boundaries get explored.
    const std::size_t cut = size == 0 ? 0 : data[0] % size;
    splitter.feed(input.substr(0, cut), onLine);
    splitter.feed(input.substr(cut), onLine);
    splitter.finish(onLine);
    return 0;
}
