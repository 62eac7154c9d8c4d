// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One request line from the application to the bridge. Built from a command
// and its payload; every request gets a fresh random `requestID`.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/MeshtasticBridgeCommand.h"
#include "core/MeshtasticRadioSettings.h"
#include "core/Uuid.h"

namespace corvane {

struct MeshtasticBridgeRequest {
    std::int64_t protocolVersion = kMeshtasticBridgeProtocolVersion;
    Uuid requestID = Uuid::random();
    MeshtasticBridgeCommand command = MeshtasticBridgeCommand::connect;
    std::optional<std::string> port;
    std::optional<std::string> text;
    std::optional<std::uint32_t> recipient;
    std::optional<std::uint32_t> channel;
    std::optional<MeshtasticRadioSettings> settings;

    explicit MeshtasticBridgeRequest(MeshtasticBridgeCommand commandValue) : command(commandValue) {}

    friend bool operator==(const MeshtasticBridgeRequest&, const MeshtasticBridgeRequest&) = default;
};

// Compact JSON followed by exactly one line feed; absent when a value cannot
// be encoded (a non-finite float, text that is not UTF-8).
std::optional<std::string> encodeLine(const MeshtasticBridgeRequest& request);

// For a stand-in bridge: requires "protocolVersion", "requestID", "command".
std::optional<MeshtasticBridgeRequest> decodeMeshtasticBridgeRequest(std::string_view line);

}  // namespace corvane
