// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a local network device looks like to the user, worked out from its
// name and services (LocalNetworkDevice::kind); never stored. Picks the
// symbol the windows show.
#include <array>
#include <optional>
#include <string_view>

#include "core/RawValue.h"

namespace corvane {

enum class LocalNetworkDeviceKind { computer, laptop, television, speaker, printer, storage, generic };

inline constexpr std::array kAllLocalNetworkDeviceKinds{
    LocalNetworkDeviceKind::computer, LocalNetworkDeviceKind::laptop,  LocalNetworkDeviceKind::television,
    LocalNetworkDeviceKind::speaker,  LocalNetworkDeviceKind::printer, LocalNetworkDeviceKind::storage,
    LocalNetworkDeviceKind::generic};

constexpr std::string_view rawValue(LocalNetworkDeviceKind kind) {
    switch (kind) {
    case LocalNetworkDeviceKind::computer: return "computer";
    case LocalNetworkDeviceKind::laptop: return "laptop";
    case LocalNetworkDeviceKind::television: return "television";
    case LocalNetworkDeviceKind::speaker: return "speaker";
    case LocalNetworkDeviceKind::printer: return "printer";
    case LocalNetworkDeviceKind::storage: return "storage";
    case LocalNetworkDeviceKind::generic: return "generic";
    }
    return {};
}

// Symbol name; the UI maps it to a shipped icon.
constexpr std::string_view systemImage(LocalNetworkDeviceKind kind) {
    switch (kind) {
    case LocalNetworkDeviceKind::computer: return "desktopcomputer";
    case LocalNetworkDeviceKind::laptop: return "laptopcomputer";
    case LocalNetworkDeviceKind::television: return "appletv.fill";
    case LocalNetworkDeviceKind::speaker: return "hifispeaker.fill";
    case LocalNetworkDeviceKind::printer: return "printer.fill";
    case LocalNetworkDeviceKind::storage: return "externaldrive.connected.to.line.below.fill";
    case LocalNetworkDeviceKind::generic: return "network";
    }
    return {};
}

constexpr std::optional<LocalNetworkDeviceKind> localNetworkDeviceKindFromRaw(std::string_view raw) {
    return fromRawValue(raw, kAllLocalNetworkDeviceKinds);
}

}  // namespace corvane
