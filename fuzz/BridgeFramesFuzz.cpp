// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary serial bytes through the bridge's frame reader and decoder
// and turns every frame into the records the bridge would send: whatever the
// radio says, each record must encode as a JSON line (text repaired, floats
// finite), and a read-change-write must keep the settings it was given.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "bridge/FrameReader.h"
#include "bridge/RadioProtocol.h"
#include "bridge/RadioTranslator.h"
#include "core/MeshtasticBridgeResponse.h"

namespace {

using namespace corvane;
using namespace corvane::bridge;

void mustEncode(MeshtasticBridgeResponse response) {
    if (!encodeLine(response)) std::abort();
}

void lora(const mesh::Config::LoRaConfig& config) {
    const auto settings = settingsFromLora(config);
    if (!settings) return;
    MeshtasticBridgeResponse response;
    response.event = MeshtasticBridgeEvent::radioSettings;
    response.settings = *settings;
    mustEncode(response);
    const auto written = settingsFromLora(loraWithSettings(config, *settings));
    if (!written || !(*written == *settings)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto now = fromUnixSeconds(1772357400);
    RadioTranslator translator;
    FrameReader reader(
        [&](std::string_view payload) {
            const auto message = parseFromRadio(payload);
            if (!message) return false;
            translator.translate(*message, 1, now, mustEncode);
            if (message->has_config() && message->config().has_lora()) lora(message->config().lora());
            return true;
        },
        [](std::string_view) {});
    const std::size_t cut = size == 0 ? 0 : data[0] % size;
    reader.feed(input.substr(0, cut));
    reader.feed(input.substr(cut));
    if (reader.holding()) reader.abandonHeld();
    reader.flush();
    return 0;
}
