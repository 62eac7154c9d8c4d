// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a line from the bridge reports; the JSON value is the case name and any
// other name makes the line undecodable.
#include <array>
#include <optional>
#include <string_view>

#include "core/RawValue.h"

namespace corvane {

enum class MeshtasticBridgeEvent {
    ready, connected, disconnected, status, localNode, node, channel, message, radioSettings, sent, error
};

inline constexpr std::array kAllMeshtasticBridgeEvents{
    MeshtasticBridgeEvent::ready,         MeshtasticBridgeEvent::connected, MeshtasticBridgeEvent::disconnected,
    MeshtasticBridgeEvent::status,        MeshtasticBridgeEvent::localNode, MeshtasticBridgeEvent::node,
    MeshtasticBridgeEvent::channel,       MeshtasticBridgeEvent::message,   MeshtasticBridgeEvent::radioSettings,
    MeshtasticBridgeEvent::sent,          MeshtasticBridgeEvent::error};

constexpr std::string_view rawValue(MeshtasticBridgeEvent event) {
    switch (event) {
    case MeshtasticBridgeEvent::ready: return "ready";
    case MeshtasticBridgeEvent::connected: return "connected";
    case MeshtasticBridgeEvent::disconnected: return "disconnected";
    case MeshtasticBridgeEvent::status: return "status";
    case MeshtasticBridgeEvent::localNode: return "localNode";
    case MeshtasticBridgeEvent::node: return "node";
    case MeshtasticBridgeEvent::channel: return "channel";
    case MeshtasticBridgeEvent::message: return "message";
    case MeshtasticBridgeEvent::radioSettings: return "radioSettings";
    case MeshtasticBridgeEvent::sent: return "sent";
    case MeshtasticBridgeEvent::error: return "error";
    }
    return {};
}

constexpr std::optional<MeshtasticBridgeEvent> meshtasticBridgeEventFromRaw(std::string_view raw) {
    return fromRawValue(raw, kAllMeshtasticBridgeEvents);
}

}  // namespace corvane
