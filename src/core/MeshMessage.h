// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One text message, sent or received; identified by its `id`. Every field is
// required in JSON.
#include <cstdint>
#include <optional>
#include <string>

#include "core/DateTime.h"
#include "core/JsonForward.h"
#include "core/Uuid.h"

namespace corvane {

class JsonWriter;

struct MeshMessage {
    Uuid id;
    std::uint32_t packetID = 0;
    std::uint32_t sender = 0;
    std::uint32_t recipient = 0;
    std::uint32_t channel = 0;
    std::string text;
    Timestamp timestamp;
    bool isOutgoing = false;

    friend bool operator==(const MeshMessage&, const MeshMessage&) = default;
};

void encodeJson(JsonWriter& writer, const MeshMessage& message);
std::optional<MeshMessage> decodeMeshMessage(const simdjson::dom::element& element);

}  // namespace corvane
