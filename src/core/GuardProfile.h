// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What kind of thing the user guards. It does not change detection; it picks
// the wording of the movement alert and the title and symbol the windows show.
// Stored and decoded as its raw value.
#include <array>
#include <optional>
#include <string_view>

#include "core/RawValue.h"

namespace corvane {

enum class GuardProfile { general, bicycle };

inline constexpr std::array kAllGuardProfiles{GuardProfile::general, GuardProfile::bicycle};

constexpr std::string_view rawValue(GuardProfile profile) {
    switch (profile) {
    case GuardProfile::general: return "general";
    case GuardProfile::bicycle: return "bicycle";
    }
    return {};
}

constexpr std::string_view title(GuardProfile profile) {
    switch (profile) {
    case GuardProfile::general: return "General";
    case GuardProfile::bicycle: return "Bicycle";
    }
    return {};
}

// Symbol name; the UI maps it to a shipped icon.
constexpr std::string_view systemImage(GuardProfile profile) {
    switch (profile) {
    case GuardProfile::general: return "shield.checkered";
    case GuardProfile::bicycle: return "bicycle";
    }
    return {};
}

constexpr std::optional<GuardProfile> guardProfileFromRaw(std::string_view raw) {
    return fromRawValue(raw, kAllGuardProfiles);
}

}  // namespace corvane
