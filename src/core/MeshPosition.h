// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One position fix of a mesh node: a plain value, identified by its `id`.
// Carried in bridge lines, kept in the position history and its file.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/DateTime.h"
#include "core/JsonForward.h"
#include "core/Uuid.h"

namespace corvane {

class JsonWriter;

struct MeshPosition {
    Uuid id;
    std::uint32_t nodeNumber = 0;
    double latitude = 0;
    double longitude = 0;
    std::optional<std::int32_t> altitude;
    Timestamp timestamp;
    // Set when the sender shared only a box of its position (the coordinates
    // are the box's centre): the number of leading bits of the 1e-7 degree
    // coordinates that are real. Absent means an exact fix.
    std::optional<std::uint32_t> precisionBits;

    friend bool operator==(const MeshPosition&, const MeshPosition&) = default;
};

// Keys in sorted order; non-finite coordinates mark the writer failed.
void encodeJson(JsonWriter& writer, const MeshPosition& position);
std::optional<MeshPosition> decodeMeshPosition(const simdjson::dom::element& element);

// The form kept in the user's settings for the marked position: the same keys,
// but "timestamp" is a number of seconds since 2001-01-01T00:00:00Z.
std::optional<std::string> encodeWithReferenceDate(const MeshPosition& position);
std::optional<MeshPosition> decodeMeshPositionWithReferenceDate(std::string_view text);

}  // namespace corvane
