// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/MeshtasticBridgeResponse.h"

#include "core/JsonRead.h"
#include "core/JsonWriter.h"

namespace corvane {
namespace {

template <typename T, typename Decode>
bool nested(const json::Object& object, std::string_view key, std::optional<T>& out, Decode decode) {
    const auto element = json::member(object, key);
    if (!element) return true;
    out = decode(*element);
    return out.has_value();
}

}  // namespace

std::optional<std::string> encodeLine(const MeshtasticBridgeResponse& response) {
    JsonWriter writer;
    writer.beginObject();
    writer.key("protocolVersion");
    writer.integer(response.protocolVersion);
    if (response.requestID) {
        writer.key("requestID");
        writer.string(response.requestID->string());
    }
    writer.key("event");
    writer.string(rawValue(response.event));
    const auto text = [&writer](std::string_view key, const std::optional<std::string>& value) {
        if (!value) return;
        writer.key(key);
        writer.string(*value);
    };
    const auto number = [&writer](std::string_view key, const std::optional<std::uint32_t>& value) {
        if (!value) return;
        writer.key(key);
        writer.unsignedInteger(*value);
    };
    text("error", response.error);
    text("status", response.status);
    text("port", response.port);
    number("localNodeID", response.localNodeID);
    if (response.node) {
        writer.key("node");
        encodeJson(writer, *response.node);
    }
    number("channel", response.channel);
    text("channelName", response.channelName);
    if (response.message) {
        writer.key("message");
        encodeJson(writer, *response.message);
    }
    if (response.settings) {
        writer.key("settings");
        encodeJson(writer, *response.settings);
    }
    number("packetID", response.packetID);
    writer.endObject();
    if (writer.failed()) return std::nullopt;
    std::string line = writer.take();
    line.push_back('\n');
    return line;
}

std::optional<MeshtasticBridgeResponse> decodeMeshtasticBridgeResponse(std::string_view line) {
    return json::parseDocument(line, [](const json::Element& root) -> std::optional<MeshtasticBridgeResponse> {
        json::Object object;
        if (root.get_object().get(object) != simdjson::SUCCESS) return std::nullopt;
        MeshtasticBridgeResponse response;
        std::string event;
        if (!json::required(object, "protocolVersion", response.protocolVersion, json::asInt64) ||
            !json::optional(object, "requestID", response.requestID, json::asUuid) ||
            !json::required(object, "event", event, json::asString) ||
            !json::optional(object, "error", response.error, json::asString) ||
            !json::optional(object, "status", response.status, json::asString) ||
            !json::optional(object, "port", response.port, json::asString) ||
            !json::optional(object, "localNodeID", response.localNodeID, json::asUInt32) ||
            !json::optional(object, "channel", response.channel, json::asUInt32) ||
            !json::optional(object, "channelName", response.channelName, json::asString) ||
            !json::optional(object, "packetID", response.packetID, json::asUInt32) ||
            !nested(object, "node", response.node, decodeMeshNode) ||
            !nested(object, "message", response.message, decodeMeshMessage) ||
            !nested(object, "settings", response.settings, decodeMeshtasticRadioSettings)) {
            return std::nullopt;
        }
        const auto parsedEvent = meshtasticBridgeEventFromRaw(event);
        if (!parsedEvent) return std::nullopt;
        response.event = *parsedEvent;
        return response;
    });
}

}  // namespace corvane
