// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Commands the application sends to the bridge; the JSON value is the case name.
#include <array>
#include <optional>
#include <string_view>

#include "core/RawValue.h"

namespace corvane {

inline constexpr int kMeshtasticBridgeProtocolVersion = 1;

enum class MeshtasticBridgeCommand { connect, disconnect, sendText, readRadioSettings, applyRadioSettings };

inline constexpr std::array kAllMeshtasticBridgeCommands{
    MeshtasticBridgeCommand::connect, MeshtasticBridgeCommand::disconnect, MeshtasticBridgeCommand::sendText,
    MeshtasticBridgeCommand::readRadioSettings, MeshtasticBridgeCommand::applyRadioSettings};

constexpr std::string_view rawValue(MeshtasticBridgeCommand command) {
    switch (command) {
    case MeshtasticBridgeCommand::connect: return "connect";
    case MeshtasticBridgeCommand::disconnect: return "disconnect";
    case MeshtasticBridgeCommand::sendText: return "sendText";
    case MeshtasticBridgeCommand::readRadioSettings: return "readRadioSettings";
    case MeshtasticBridgeCommand::applyRadioSettings: return "applyRadioSettings";
    }
    return {};
}

constexpr std::optional<MeshtasticBridgeCommand> meshtasticBridgeCommandFromRaw(std::string_view raw) {
    return fromRawValue(raw, kAllMeshtasticBridgeCommands);
}

}  // namespace corvane
