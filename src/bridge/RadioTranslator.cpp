// SPDX-License-Identifier: GPL-3.0-or-later
#include "RadioTranslator.h"

#include "RadioProtocol.h"

namespace corvane::bridge {
namespace {

MeshtasticBridgeResponse nodeLine(const MeshNode& node) {
    MeshtasticBridgeResponse line;
    line.event = MeshtasticBridgeEvent::node;
    line.node = node;
    return line;
}

}  // namespace

bool RadioTranslator::translate(const mesh::FromRadio& message, std::uint32_t localNode, Timestamp now,
                                const Emit& emit) {
    switch (message.payload_variant_case()) {
    case mesh::FromRadio::kNodeInfo: emit(nodeLine(nodes_.fromNodeInfo(message.node_info(), localNode))); return true;
    case mesh::FromRadio::kMetadata:
        if (const auto version = firmwareVersion(message.metadata().firmware_version())) {
            nodes_.setAbsentHopsMeanDirect(*version >= std::pair{2, 3} && *version < std::pair{2, 5});
        }
        return true;
    case mesh::FromRadio::kChannel:
        if (auto line = channelLine(message.channel())) emit(std::move(*line));
        return true;
    case mesh::FromRadio::kPacket:
        if (message.packet().has_decoded() && message.packet().decoded().portnum() == mesh::ADMIN_APP) return false;
        packet(message.packet(), localNode, now, emit);
        return true;
    default: return false;
    }
}

void RadioTranslator::packet(const mesh::MeshPacket& packet, std::uint32_t localNode, Timestamp now, const Emit& emit) {
    // Packets on channels whose key we lack arrive still encrypted.
    if (!packet.has_decoded()) return;
    const auto& payload = packet.decoded().payload();
    switch (packet.decoded().portnum()) {
    case mesh::TEXT_MESSAGE_APP:
        if (auto message = textMessage(packet, localNode, now)) {
            MeshtasticBridgeResponse line;
            line.event = MeshtasticBridgeEvent::message;
            line.message = std::move(*message);
            emit(std::move(line));
        }
        return;
    case mesh::POSITION_APP:
        if (mesh::Position position; position.ParseFromString(payload)) {
            emit(nodeLine(nodes_.fromPosition(packet.from(), position, NodeDirectory::heardOf(packet, now))));
        }
        return;
    case mesh::NODEINFO_APP:
        if (mesh::User user; user.ParseFromString(payload)) {
            emit(nodeLine(nodes_.fromUser(packet.from(), user, NodeDirectory::heardOf(packet, now))));
        }
        return;
    case mesh::TELEMETRY_APP:
        if (mesh::Telemetry telemetry; telemetry.ParseFromString(payload) && telemetry.has_device_metrics()) {
            emit(nodeLine(
                nodes_.fromMetrics(packet.from(), telemetry.device_metrics(), NodeDirectory::heardOf(packet, now))));
        }
        return;
    default: return;
    }
}

}  // namespace corvane::bridge
