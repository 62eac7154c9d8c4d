// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/MeshNode.h"

#include "core/JsonRead.h"
#include "core/JsonWriter.h"

namespace corvane {

MeshNodeReachability MeshNode::reachability(Timestamp now, double nearbyWindow) const {
    if (!lastSeen) return MeshNodeReachability::stale();
    const double age = secondsBetween(*lastSeen, now);
    if (!(nearbyWindow >= age)) return MeshNodeReachability::stale();
    if (hopsAway && *hopsAway == 0) return MeshNodeReachability::directlyHeard();
    return MeshNodeReachability::mesh(hopsAway);
}

void encodeJson(JsonWriter& writer, const MeshNode& node) {
    writer.beginObject();
    if (node.batteryLevel) {
        writer.key("batteryLevel");
        writer.unsignedInteger(*node.batteryLevel);
    }
    writer.key("hardware");
    writer.string(node.hardware);
    if (node.hopsAway) {
        writer.key("hopsAway");
        writer.unsignedInteger(*node.hopsAway);
    }
    if (node.lastSeen) {
        writer.key("lastSeen");
        writer.string(formatIso8601(*node.lastSeen));
    }
    writer.key("longName");
    writer.string(node.longName);
    writer.key("number");
    writer.unsignedInteger(node.number);
    if (node.position) {
        writer.key("position");
        encodeJson(writer, *node.position);
    }
    writer.key("shortName");
    writer.string(node.shortName);
    if (node.signalToNoise) {
        writer.key("signalToNoise");
        writer.number(*node.signalToNoise);
    }
    if (node.voltage) {
        writer.key("voltage");
        writer.number(*node.voltage);
    }
    writer.endObject();
}

std::optional<MeshNode> decodeMeshNode(const simdjson::dom::element& element) {
    json::Object object;
    if (element.get_object().get(object) != simdjson::SUCCESS) return std::nullopt;
    MeshNode node;
    if (!json::required(object, "number", node.number, json::asUInt32) ||
        !json::required(object, "longName", node.longName, json::asString) ||
        !json::required(object, "shortName", node.shortName, json::asString) ||
        !json::required(object, "hardware", node.hardware, json::asString) ||
        !json::optional(object, "batteryLevel", node.batteryLevel, json::asUInt32) ||
        !json::optional(object, "voltage", node.voltage, json::asFloat) ||
        !json::optional(object, "signalToNoise", node.signalToNoise, json::asFloat) ||
        !json::optional(object, "hopsAway", node.hopsAway, json::asUInt32) ||
        !json::optional(object, "lastSeen", node.lastSeen, json::asDate)) {
        return std::nullopt;
    }
    if (const auto position = json::member(object, "position")) {
        node.position = decodeMeshPosition(*position);
        if (!node.position) return std::nullopt;
    }
    return node;
}

}  // namespace corvane
