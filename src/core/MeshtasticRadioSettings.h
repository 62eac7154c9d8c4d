// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The radio's LoRa settings, always read and applied whole. All ten fields are
// required in both JSON directions.
#include <cstdint>
#include <optional>

#include "core/JsonForward.h"
#include "core/MeshtasticModemPreset.h"
#include "core/MeshtasticRegion.h"

namespace corvane {

class JsonWriter;

struct MeshtasticRadioSettings {
    bool usePreset = false;
    MeshtasticRegion region = MeshtasticRegion::unset;
    MeshtasticModemPreset modemPreset = MeshtasticModemPreset::longFast;
    std::uint32_t hopLimit = 0;
    std::uint32_t channelNum = 0;
    bool txEnabled = false;
    std::int32_t txPower = 0;
    bool rxBoostedGain = false;
    bool overrideDutyCycle = false;
    float overrideFrequency = 0;

    // What "Recommended Halvo Setup" puts into the settings draft.
    static MeshtasticRadioSettings recommended();

    friend bool operator==(const MeshtasticRadioSettings&, const MeshtasticRadioSettings&) = default;
};

inline constexpr const char* kRecommendedSetupExplanation =
    "The recommended setup uses EU868, LongFast, automatic frequency selection, three hops and the legal "
    "regional transmit-power default. Channel names and encryption keys are not changed.";

void encodeJson(JsonWriter& writer, const MeshtasticRadioSettings& settings);
std::optional<MeshtasticRadioSettings> decodeMeshtasticRadioSettings(const simdjson::dom::element& element);

}  // namespace corvane
