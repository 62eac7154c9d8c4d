// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One node of the mesh as last reported by the bridge; identified by `number`.
// A plain value: the model replaces its copy whenever news arrives.
#include <cstdint>
#include <optional>
#include <string>

#include "core/DateTime.h"
#include "core/JsonForward.h"
#include "core/MeshNodeReachability.h"
#include "core/MeshPosition.h"

namespace corvane {

class JsonWriter;

struct MeshNode {
    std::uint32_t number = 0;
    std::string longName;
    std::string shortName;
    std::string hardware;
    std::optional<std::uint32_t> batteryLevel;
    std::optional<float> voltage;
    std::optional<float> signalToNoise;
    std::optional<std::uint32_t> hopsAway;
    std::optional<Timestamp> lastSeen;
    std::optional<MeshPosition> position;

    std::uint32_t id() const { return number; }

    // Within `nearbyWindow` seconds of `lastSeen` (inclusive, future included)
    // a node is heard directly (0 hops) or through the mesh; otherwise stale.
    MeshNodeReachability reachability(Timestamp now, double nearbyWindow) const;

    friend bool operator==(const MeshNode&, const MeshNode&) = default;
};

void encodeJson(JsonWriter& writer, const MeshNode& node);
std::optional<MeshNode> decodeMeshNode(const simdjson::dom::element& element);

}  // namespace corvane
