// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// LoRa modem preset of the radio; its raw value is its JSON form, its label
// what the settings window shows.
#include <array>
#include <optional>
#include <string_view>

#include "core/RawValue.h"

namespace corvane {

enum class MeshtasticModemPreset { longFast, longModerate, mediumSlow, mediumFast, shortSlow, shortFast };

inline constexpr std::array kAllMeshtasticModemPresets{
    MeshtasticModemPreset::longFast,   MeshtasticModemPreset::longModerate, MeshtasticModemPreset::mediumSlow,
    MeshtasticModemPreset::mediumFast, MeshtasticModemPreset::shortSlow,    MeshtasticModemPreset::shortFast};

constexpr std::string_view rawValue(MeshtasticModemPreset preset) {
    switch (preset) {
    case MeshtasticModemPreset::longFast: return "longFast";
    case MeshtasticModemPreset::longModerate: return "longModerate";
    case MeshtasticModemPreset::mediumSlow: return "mediumSlow";
    case MeshtasticModemPreset::mediumFast: return "mediumFast";
    case MeshtasticModemPreset::shortSlow: return "shortSlow";
    case MeshtasticModemPreset::shortFast: return "shortFast";
    }
    return {};
}

constexpr std::string_view label(MeshtasticModemPreset preset) {
    switch (preset) {
    case MeshtasticModemPreset::longFast: return "Long Range – Fast";
    case MeshtasticModemPreset::longModerate: return "Long Range – Moderate";
    case MeshtasticModemPreset::mediumSlow: return "Medium Range – Slow";
    case MeshtasticModemPreset::mediumFast: return "Medium Range – Fast";
    case MeshtasticModemPreset::shortSlow: return "Short Range – Slow";
    case MeshtasticModemPreset::shortFast: return "Short Range – Fast";
    }
    return {};
}

constexpr std::optional<MeshtasticModemPreset> meshtasticModemPresetFromRaw(std::string_view raw) {
    return fromRawValue(raw, kAllMeshtasticModemPresets);
}

}  // namespace corvane
