// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Turns the radio's news (node database entries, channels, text, position,
// node-info and telemetry packets) into the lines the application reads, with
// the node records merged across frames. Owned by the session; one thread.
// Frames that belong to the session's own conversation with the radio (its
// node number, configuration, queue status, admin answers) are left to it.
#include <cstdint>
#include <functional>

#include "NodeDirectory.h"
#include "bridge/meshtastic.pb.h"
#include "core/DateTime.h"
#include "core/MeshtasticBridgeResponse.h"

namespace corvane::bridge {

class RadioTranslator {
public:
    using Emit = std::function<void(MeshtasticBridgeResponse)>;

    // Returns false for frames it does not translate.
    bool translate(const mesh::FromRadio& message, std::uint32_t localNode, Timestamp now, const Emit& onLine);
    void forget() { nodes_.clear(); }

private:
    void packet(const mesh::MeshPacket& packet, std::uint32_t localNode, Timestamp now, const Emit& onLine);

    NodeDirectory nodes_;
};

}  // namespace corvane::bridge
