// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One line from the bridge: the reply to a request (it echoes the request's
// `requestID`) or unsolicited news. Decoding requires "protocolVersion" and
// "event"; every other field is optional.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/MeshMessage.h"
#include "core/MeshNode.h"
#include "core/MeshtasticBridgeCommand.h"
#include "core/MeshtasticBridgeEvent.h"
#include "core/MeshtasticRadioSettings.h"
#include "core/Uuid.h"

namespace corvane {

struct MeshtasticBridgeResponse {
    std::int64_t protocolVersion = kMeshtasticBridgeProtocolVersion;
    std::optional<Uuid> requestID;
    MeshtasticBridgeEvent event = MeshtasticBridgeEvent::ready;
    std::optional<std::string> error;
    std::optional<std::string> status;
    std::optional<std::string> port;
    std::optional<std::uint32_t> localNodeID;
    std::optional<MeshNode> node;
    std::optional<std::uint32_t> channel;
    std::optional<std::string> channelName;
    std::optional<MeshMessage> message;
    std::optional<MeshtasticRadioSettings> settings;
    std::optional<std::uint32_t> packetID;

    friend bool operator==(const MeshtasticBridgeResponse&, const MeshtasticBridgeResponse&) = default;
};

std::optional<std::string> encodeLine(const MeshtasticBridgeResponse& response);
std::optional<MeshtasticBridgeResponse> decodeMeshtasticBridgeResponse(std::string_view line);

}  // namespace corvane
