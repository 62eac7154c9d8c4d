// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the bridge knows about each node, merged from the handshake's node
// database and later position, node-info and telemetry packets, so that each
// `node` line carries the whole record. Owned by the session; one thread.
// A position keeps its record id while the fix itself is unchanged, so the
// application does not store the same fix twice; a fix from the node database
// carries its own time (never the time we read it), so one read again after a
// reconnect is recognised as the fix it is.
#include <cstdint>
#include <map>
#include <optional>

#include "bridge/meshtastic.pb.h"
#include "core/DateTime.h"
#include "core/MeshNode.h"

namespace corvane::bridge {

class NodeDirectory {
public:
    // How a packet reached us: when, the signal-to-noise ratio and hops.
    struct Heard {
        Timestamp at;
        std::optional<float> signalToNoise;
        std::optional<std::uint32_t> hopsAway;
    };

    // `localNode` is the radio's own node, always 0 hops from itself.
    const MeshNode& fromNodeInfo(const mesh::NodeInfo& info, std::uint32_t localNode);
    const MeshNode& fromUser(std::uint32_t number, const mesh::User& user, const Heard& heard);
    const MeshNode& fromPosition(std::uint32_t number, const mesh::Position& position, const Heard& heard);
    const MeshNode& fromMetrics(std::uint32_t number, const mesh::DeviceMetrics& metrics, const Heard& heard);

    static Heard heardOf(const mesh::MeshPacket& packet, Timestamp now);

    // Firmware 2.3 and 2.4 declare hops_away without presence, so a node
    // heard directly (0 hops) arrives without it; later firmware leaves it
    // out only when unknown.
    void setAbsentHopsMeanDirect(bool direct) { absentHopsMeanDirect_ = direct; }

    void clear();

private:
    struct Entry {
        MeshNode node;
        // The fix as sent, to tell an unchanged fix from a new one.
        std::optional<mesh::Position> lastFix;
    };

    Entry& entry(std::uint32_t number);
    void applyUser(MeshNode& node, const mesh::User& user);
    void applyPosition(Entry& entry, const mesh::Position& position, std::optional<Timestamp> heard);
    static void applyMetrics(MeshNode& node, const mesh::DeviceMetrics& metrics);
    static void applyHeard(MeshNode& node, const Heard& heard);

    std::map<std::uint32_t, Entry> entries_;
    bool absentHopsMeanDirect_ = false;
};

}  // namespace corvane::bridge
