// SPDX-License-Identifier: GPL-3.0-or-later
#include "NodeDirectory.h"

#include <cmath>
#include <cstdio>

#include "RadioProtocol.h"
#include "Utf8Repair.h"

namespace corvane::bridge {
namespace {

bool sameFix(const mesh::Position& a, const mesh::Position& b) {
    return a.latitude_i() == b.latitude_i() && a.longitude_i() == b.longitude_i() &&
           a.has_altitude() == b.has_altitude() && a.altitude() == b.altitude() && a.time() == b.time() &&
           a.precision_bits() == b.precision_bits();
}

}  // namespace

NodeDirectory::Entry& NodeDirectory::entry(std::uint32_t number) {
    auto [it, inserted] = entries_.try_emplace(number);
    if (inserted) {
        // Until the node tells its names, it is shown as Meshtastic clients
        // show it: by the last four hex digits of its number.
        char hex[5];
        std::snprintf(hex, sizeof hex, "%04x", number & 0xFFFFu);
        it->second.node.number = number;
        it->second.node.longName = std::string("Meshtastic ") + hex;
        it->second.node.shortName = hex;
        it->second.node.hardware = hardwareName(0);
    }
    return it->second;
}

const MeshNode& NodeDirectory::fromNodeInfo(const mesh::NodeInfo& info, std::uint32_t localNode) {
    Entry& e = entry(info.num());
    MeshNode& node = e.node;
    if (info.has_user()) applyUser(node, info.user());
    if (info.has_device_metrics()) applyMetrics(node, info.device_metrics());
    if (info.snr() != 0 && std::isfinite(info.snr())) node.signalToNoise = info.snr();
    if (info.num() == localNode) {
        node.hopsAway = 0;
    } else if (info.has_hops_away()) {
        node.hopsAway = info.hops_away();
    } else if (absentHopsMeanDirect_) {
        node.hopsAway = 0;
    }
    std::optional<Timestamp> heard;
    if (info.last_heard() != 0) heard = fromUnixSeconds(info.last_heard());
    if (heard) node.lastSeen = heard;
    if (info.has_position()) applyPosition(e, info.position(), heard);
    return node;
}

const MeshNode& NodeDirectory::fromUser(std::uint32_t number, const mesh::User& user, const Heard& heard) {
    Entry& e = entry(number);
    applyUser(e.node, user);
    applyHeard(e.node, heard);
    return e.node;
}

const MeshNode& NodeDirectory::fromPosition(std::uint32_t number, const mesh::Position& position, const Heard& heard) {
    Entry& e = entry(number);
    applyPosition(e, position, heard.at);
    applyHeard(e.node, heard);
    return e.node;
}

const MeshNode& NodeDirectory::fromMetrics(std::uint32_t number, const mesh::DeviceMetrics& metrics,
                                           const Heard& heard) {
    Entry& e = entry(number);
    applyMetrics(e.node, metrics);
    applyHeard(e.node, heard);
    return e.node;
}

NodeDirectory::Heard NodeDirectory::heardOf(const mesh::MeshPacket& packet, Timestamp now) {
    Heard heard{.at = packet.rx_time() != 0 ? fromUnixSeconds(packet.rx_time()) : now,
                .signalToNoise = std::nullopt,
                .hopsAway = std::nullopt};
    if (packet.rx_snr() != 0 && std::isfinite(packet.rx_snr())) heard.signalToNoise = packet.rx_snr();
    // Firmware that does not fill hop_start leaves the distance unknown.
    if (packet.hop_start() != 0 && packet.hop_start() >= packet.hop_limit()) {
        heard.hopsAway = packet.hop_start() - packet.hop_limit();
    }
    return heard;
}

void NodeDirectory::clear() {
    entries_.clear();
    absentHopsMeanDirect_ = false;
}

void NodeDirectory::applyUser(MeshNode& node, const mesh::User& user) {
    if (!user.long_name().empty()) node.longName = repairedUtf8(user.long_name());
    if (!user.short_name().empty()) node.shortName = repairedUtf8(user.short_name());
    node.hardware = hardwareName(user.hw_model());
}

void NodeDirectory::applyPosition(Entry& e, const mesh::Position& position, std::optional<Timestamp> heard) {
    // A stored fix without any time of its own: stamping it now would make an
    // old fix look new on every reconnect.
    if (position.time() == 0 && !heard) return;
    auto fix = positionOf(position, e.node.number, heard.value_or(Timestamp{}));
    if (!fix) return;
    if (e.lastFix && e.node.position && sameFix(*e.lastFix, position)) return;
    fix->id = Uuid::random();
    e.node.position = *fix;
    e.lastFix = position;
}

void NodeDirectory::applyMetrics(MeshNode& node, const mesh::DeviceMetrics& metrics) {
    if (metrics.has_battery_level()) node.batteryLevel = metrics.battery_level();
    // A non-finite value has no JSON form; it would cost the whole node line.
    if (metrics.has_voltage() && std::isfinite(metrics.voltage())) node.voltage = metrics.voltage();
}

void NodeDirectory::applyHeard(MeshNode& node, const Heard& heard) {
    node.lastSeen = heard.at;
    if (heard.signalToNoise) node.signalToNoise = heard.signalToNoise;
    if (heard.hopsAway) node.hopsAway = heard.hopsAway;
}

}  // namespace corvane::bridge
