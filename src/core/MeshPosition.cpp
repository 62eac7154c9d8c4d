#include "core/MeshPosition.h"

#include "core/JsonRead.h"
#include "core/JsonWriter.h"

namespace corvane {

void encodeJson(JsonWriter& writer, const MeshPosition& position) {
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
    writer.key("timestamp");
    writer.string(formatIso8601(position.timestamp));
    writer.endObject();
}

std::optional<MeshPosition> decodeMeshPosition(const simdjson::dom::element& element) {
    json::Object object;
    if (element.get_object().get(object) != simdjson::SUCCESS) return std::nullopt;
    MeshPosition position;
    if (!json::required(object, "id", position.id, json::asUuid) ||
        !json::required(object, "nodeNumber", position.nodeNumber, json::asUInt32) ||
        !json::required(object, "latitude", position.latitude, json::asDouble) ||
        !json::required(object, "longitude", position.longitude, json::asDouble) ||
        !json::optional(object, "altitude", position.altitude, json::asInt32) ||
        !json::required(object, "timestamp", position.timestamp, json::asDate)) {
        return std::nullopt;
    }
    return position;
}

}  // namespace corvane
