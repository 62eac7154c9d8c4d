// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/MeshtasticRadioSettings.h"

#include "core/JsonRead.h"
#include "core/JsonWriter.h"

namespace corvane {
namespace {

template <typename Enum, typename FromRaw>
bool readEnum(const json::Object& object, std::string_view key, Enum& out, FromRaw fromRaw) {
    std::string raw;
    if (!json::required(object, key, raw, json::asString)) return false;
    const auto value = fromRaw(raw);
    if (!value) return false;
    out = *value;
    return true;
}

}  // namespace

MeshtasticRadioSettings MeshtasticRadioSettings::recommended() {
    return {.usePreset = true,
            .region = MeshtasticRegion::eu868,
            .modemPreset = MeshtasticModemPreset::longFast,
            .hopLimit = 3,
            .channelNum = 0,
            .txEnabled = true,
            .txPower = 0,
            .rxBoostedGain = true,
            .overrideDutyCycle = false,
            .overrideFrequency = 0};
}

void encodeJson(JsonWriter& writer, const MeshtasticRadioSettings& settings) {
    writer.beginObject();
    writer.key("channelNum");
    writer.unsignedInteger(settings.channelNum);
    writer.key("hopLimit");
    writer.unsignedInteger(settings.hopLimit);
    writer.key("modemPreset");
    writer.string(rawValue(settings.modemPreset));
    writer.key("overrideDutyCycle");
    writer.boolean(settings.overrideDutyCycle);
    writer.key("overrideFrequency");
    writer.number(settings.overrideFrequency);
    writer.key("region");
    writer.string(rawValue(settings.region));
    writer.key("rxBoostedGain");
    writer.boolean(settings.rxBoostedGain);
    writer.key("txEnabled");
    writer.boolean(settings.txEnabled);
    writer.key("txPower");
    writer.integer(settings.txPower);
    writer.key("usePreset");
    writer.boolean(settings.usePreset);
    writer.endObject();
}

std::optional<MeshtasticRadioSettings> decodeMeshtasticRadioSettings(const simdjson::dom::element& element) {
    json::Object object;
    if (element.get_object().get(object) != simdjson::SUCCESS) return std::nullopt;
    MeshtasticRadioSettings settings;
    if (!json::required(object, "usePreset", settings.usePreset, json::asBool) ||
        !readEnum(object, "region", settings.region, meshtasticRegionFromRaw) ||
        !readEnum(object, "modemPreset", settings.modemPreset, meshtasticModemPresetFromRaw) ||
        !json::required(object, "hopLimit", settings.hopLimit, json::asUInt32) ||
        !json::required(object, "channelNum", settings.channelNum, json::asUInt32) ||
        !json::required(object, "txEnabled", settings.txEnabled, json::asBool) ||
        !json::required(object, "txPower", settings.txPower, json::asInt32) ||
        !json::required(object, "rxBoostedGain", settings.rxBoostedGain, json::asBool) ||
        !json::required(object, "overrideDutyCycle", settings.overrideDutyCycle, json::asBool) ||
        !json::required(object, "overrideFrequency", settings.overrideFrequency, json::asFloat)) {
        return std::nullopt;
    }
    return settings;
}

}  // namespace corvane
