// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// LoRa regulatory region of the radio; its raw value is its JSON form.
#include <array>
#include <optional>
#include <string_view>

#include "core/RawValue.h"

namespace corvane {

enum class MeshtasticRegion { unset, eu868 };

inline constexpr std::array kAllMeshtasticRegions{MeshtasticRegion::unset, MeshtasticRegion::eu868};

constexpr std::string_view rawValue(MeshtasticRegion region) {
    switch (region) {
    case MeshtasticRegion::unset: return "unset";
    case MeshtasticRegion::eu868: return "eu868";
    }
    return {};
}

constexpr std::optional<MeshtasticRegion> meshtasticRegionFromRaw(std::string_view raw) {
    return fromRawValue(raw, kAllMeshtasticRegions);
}

}  // namespace corvane
