// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/MeshtasticBridgeRequest.h"

#include "core/JsonRead.h"
#include "core/JsonWriter.h"

namespace corvane {

std::optional<std::string> encodeLine(const MeshtasticBridgeRequest& request) {
    JsonWriter writer;
    writer.beginObject();
    writer.key("protocolVersion");
    writer.integer(request.protocolVersion);
    writer.key("requestID");
    writer.string(request.requestID.string());
    writer.key("command");
    writer.string(rawValue(request.command));
    if (request.port) {
        writer.key("port");
        writer.string(*request.port);
    }
    if (request.text) {
        writer.key("text");
        writer.string(*request.text);
    }
    if (request.recipient) {
        writer.key("recipient");
        writer.unsignedInteger(*request.recipient);
    }
    if (request.channel) {
        writer.key("channel");
        writer.unsignedInteger(*request.channel);
    }
    if (request.settings) {
        writer.key("settings");
        encodeJson(writer, *request.settings);
    }
    writer.endObject();
    if (writer.failed()) return std::nullopt;
    std::string line = writer.take();
    line.push_back('\n');
    return line;
}

std::optional<MeshtasticBridgeRequest> decodeMeshtasticBridgeRequest(std::string_view line) {
    return json::parseDocument(line, [](const json::Element& root) -> std::optional<MeshtasticBridgeRequest> {
        json::Object object;
        if (root.get_object().get(object) != simdjson::SUCCESS) return std::nullopt;
        MeshtasticBridgeRequest request(MeshtasticBridgeCommand::connect);
        std::string command;
        if (!json::required(object, "protocolVersion", request.protocolVersion, json::asInt64) ||
            !json::required(object, "requestID", request.requestID, json::asUuid) ||
            !json::required(object, "command", command, json::asString) ||
            !json::optional(object, "port", request.port, json::asString) ||
            !json::optional(object, "text", request.text, json::asString) ||
            !json::optional(object, "recipient", request.recipient, json::asUInt32) ||
            !json::optional(object, "channel", request.channel, json::asUInt32)) {
            return std::nullopt;
        }
        const auto parsedCommand = meshtasticBridgeCommandFromRaw(command);
        if (!parsedCommand) return std::nullopt;
        request.command = *parsedCommand;
        if (const auto settings = json::member(object, "settings")) {
            request.settings = decodeMeshtasticRadioSettings(*settings);
            if (!request.settings) return std::nullopt;
        }
        return request;
    });
}

}  // namespace corvane
