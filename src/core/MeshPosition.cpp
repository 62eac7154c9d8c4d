// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/MeshPosition.h"

#include "core/JsonRead.h"
#include "core/JsonWriter.h"

namespace corvane {
namespace {

template <typename WriteDate>
void encodePosition(JsonWriter& writer, const MeshPosition& position, WriteDate writeDate) {
    writer.beginObject();
    if (position.altitude) {
        writer.key("altitude");
        writer.integer(*position.altitude);
    }
    writer.key("id");
    writer.string(position.id.string());
    writer.key("latitude");
    writer.number(position.latitude);
    writer.key("longitude");
    writer.number(position.longitude);
    writer.key("nodeNumber");
    writer.unsignedInteger(position.nodeNumber);
    if (position.precisionBits) {
        writer.key("precisionBits");
        writer.unsignedInteger(*position.precisionBits);
    }
    writer.key("timestamp");
    writeDate(position.timestamp);
    writer.endObject();
}

template <typename ReadDate>
std::optional<MeshPosition> decodePosition(const simdjson::dom::element& element, ReadDate readDate) {
    json::Object object;
    if (element.get_object().get(object) != simdjson::SUCCESS) return std::nullopt;
    MeshPosition position;
    if (!json::required(object, "id", position.id, json::asUuid) ||
        !json::required(object, "nodeNumber", position.nodeNumber, json::asUInt32) ||
        !json::required(object, "latitude", position.latitude, json::asDouble) ||
        !json::required(object, "longitude", position.longitude, json::asDouble) ||
        !json::optional(object, "altitude", position.altitude, json::asInt32) ||
        !json::optional(object, "precisionBits", position.precisionBits, json::asUInt32) ||
        !json::required(object, "timestamp", position.timestamp, readDate)) {
        return std::nullopt;
    }
    return position;
}

}  // namespace

void encodeJson(JsonWriter& writer, const MeshPosition& position) {
    encodePosition(writer, position, [&writer](Timestamp instant) { writer.string(formatIso8601(instant)); });
}

std::optional<MeshPosition> decodeMeshPosition(const simdjson::dom::element& element) {
    return decodePosition(element, json::asDate);
}

std::optional<std::string> encodeWithReferenceDate(const MeshPosition& position) {
    JsonWriter writer;
    encodePosition(writer, position,
                   [&writer](Timestamp instant) { writer.number(secondsSinceReferenceDate(instant)); });
    if (writer.failed()) return std::nullopt;
    return writer.take();
}

std::optional<MeshPosition> decodeMeshPositionWithReferenceDate(std::string_view text) {
    return json::parseDocument(text, [](const json::Element& root) { return decodePosition(root, json::asReferenceDate); });
}

}  // namespace corvane
