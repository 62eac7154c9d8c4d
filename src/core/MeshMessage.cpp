// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/MeshMessage.h"

#include "core/JsonRead.h"
#include "core/JsonWriter.h"

namespace corvane {

void encodeJson(JsonWriter& writer, const MeshMessage& message) {
    writer.beginObject();
    writer.key("channel");
    writer.unsignedInteger(message.channel);
    writer.key("id");
    writer.string(message.id.string());
    writer.key("isOutgoing");
    writer.boolean(message.isOutgoing);
    writer.key("packetID");
    writer.unsignedInteger(message.packetID);
    writer.key("recipient");
    writer.unsignedInteger(message.recipient);
    writer.key("sender");
    writer.unsignedInteger(message.sender);
    writer.key("text");
    writer.string(message.text);
    writer.key("timestamp");
    writer.string(formatIso8601(message.timestamp));
    writer.endObject();
}

std::optional<MeshMessage> decodeMeshMessage(const simdjson::dom::element& element) {
    json::Object object;
    if (element.get_object().get(object) != simdjson::SUCCESS) return std::nullopt;
    MeshMessage message;
    if (!json::required(object, "id", message.id, json::asUuid) ||
        !json::required(object, "packetID", message.packetID, json::asUInt32) ||
        !json::required(object, "sender", message.sender, json::asUInt32) ||
        !json::required(object, "recipient", message.recipient, json::asUInt32) ||
        !json::required(object, "channel", message.channel, json::asUInt32) ||
        !json::required(object, "text", message.text, json::asString) ||
        !json::required(object, "timestamp", message.timestamp, json::asDate) ||
        !json::required(object, "isOutgoing", message.isOutgoing, json::asBool)) {
        return std::nullopt;
    }
    return message;
}

}  // namespace corvane
