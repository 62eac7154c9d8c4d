// SPDX-License-Identifier: GPL-3.0-or-later
#include "DemoMesh.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <numbers>

namespace corvane::sim {
namespace {

using namespace std::chrono_literals;

constexpr double kEarthRadiusMeters = 6371000.0;
constexpr double kReportInterval = 4.0;
constexpr double kFirstBikeReport = 0.5;
constexpr std::size_t kParkedReports = 5;
constexpr std::size_t kRideReports = 20;
constexpr double kRideStepMeters = 40.0;
constexpr double kTelemetryInterval = 5.0;
constexpr double kChatInterval = 25.0;
constexpr double kFirstChat = 8.0;
constexpr double kDuplicateDelay = 1.5;
constexpr double kAnswerDelay = 3.0;
constexpr std::uint32_t kBroadcast = 4294967295U;

struct Chat {
    std::size_t senderIndex;
    const char* text;
    bool deliveredTwice;
};

// Indexes into nodes_ as built by start(): 0 local, 1 Bike, 2.. the others.
constexpr Chat kChats[] = {
    {2, "Morning! Anyone near the square?", false},
    {3, "Relay battery swapped, all good.", true},
    {4, "Wind is picking up on the roof.", false},
    {5, "Ferry leaves in ten minutes.", false},
    {2, "Coffee at the usual place?", false},
};

Timestamp wholeSecondsNow() {
    return std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
}

MeshNode makeNode(std::uint32_t number, const char* longName, const char* shortName, const char* hardware,
                  std::optional<std::uint32_t> hops, std::optional<std::uint32_t> battery,
                  std::optional<float> voltage) {
    MeshNode node;
    node.number = number;
    node.longName = longName;
    node.shortName = shortName;
    node.hardware = hardware;
    node.hopsAway = hops;
    node.batteryLevel = battery;
    node.voltage = voltage;
    node.signalToNoise = 6.5F;
    return node;
}

}  // namespace

DemoMesh::DemoMesh(SimLoop& loop, double speed, Emit emit)
    : loop_(loop), speed_(speed), emit_(std::move(emit)), random_(20260301) {}

DemoMesh::~DemoMesh() { stop(); }

void DemoMesh::schedule(double simulatedSeconds, std::function<void()> action) {
    const auto delay = std::chrono::duration_cast<SimLoop::Clock::duration>(
        std::chrono::duration<double>(simulatedSeconds / speed_));
    // The id is only known after after() returns; the shared slot lets the
    // callback forget its own entry.
    auto id = std::make_shared<SimLoop::TimerId>(0);
    *id = loop_.after(delay, [this, id, action = std::move(action)] {
        timers_.erase(*id);
        action();
    });
    timers_.insert(*id);
}

void DemoMesh::stop() {
    for (const auto id : timers_) loop_.cancel(id);
    timers_.clear();
}

void DemoMesh::start() {
    stop();
    const auto now = wholeSecondsNow();
    nodes_ = {
        makeNode(kDemoLocalNodeNumber, "Corvane Base", "BASE", "HELTEC_V3", 0, 100, 4.15F),
        makeNode(kDemoBikeNodeNumber, "Bike", "BK", "TRACKER_T1000_E", 1, 87, 3.98F),
        makeNode(0x3A9F12C4, "Anna's Handheld", "ANNA", "T_ECHO", 0, 64, 3.81F),
        makeNode(0x7E21D0B3, "Harbour Relay", "HRB", "RAK4631", 2, 92, 4.02F),
        makeNode(0x19C4A7E8, "Rooftop Node", "ROOF", "STATION_G2", 0, std::nullopt, std::nullopt),
        makeNode(0x5D0F3B72, "Ferry Tracker", "FRY", "TBEAM", 3, 41, 3.66F),
    };
    moveTo(nodes_[0], 55.676100, 12.568900, now);
    moveTo(nodes_[2], 55.675300, 12.570800, now);
    moveTo(nodes_[3], 55.673100, 12.581800, now);
    moveTo(nodes_[4], 55.678350, 12.566150, now);
    // The Bike's first fix is the exact parking spot, so it can be marked.
    moveTo(nodes_[1], kDemoParkingLatitude, kDemoParkingLongitude, nextBikeFixTime());
    for (auto& node : nodes_) node.lastSeen = now;
    nodes_[5].lastSeen = now - 20min;

    bikeReports_ = 0;
    bikeBearing_ = 40.0;
    telemetryTurn_ = 0;
    chatTurn_ = 0;

    schedule(0.2, [this] { announce(); });
    schedule(kFirstBikeReport, [this] { reportBike(); });
    schedule(kTelemetryInterval, [this] { refreshTelemetry(); });
    schedule(kFirstChat, [this] { chat(); });
}

void DemoMesh::announce() {
    MeshtasticBridgeResponse local;
    local.event = MeshtasticBridgeEvent::localNode;
    local.localNodeID = kDemoLocalNodeNumber;
    emit_(local);
    for (const auto& [index, name] : {std::pair<std::uint32_t, const char*>{0, "LongFast"}, {1, "Family"}}) {
        MeshtasticBridgeResponse channel;
        channel.event = MeshtasticBridgeEvent::channel;
        channel.channel = index;
        channel.channelName = name;
        emit_(channel);
    }
    // The Bike speaks for itself in reportBike().
    for (const auto& node : nodes_) {
        if (node.number != kDemoBikeNodeNumber) emitNode(node);
    }
}

Timestamp DemoMesh::nextBikeFixTime() {
    // Fixes must be strictly newer than the marked one even when a fast demo
    // reports several times within one wall-clock second.
    lastBikeFix_ = std::max(wholeSecondsNow(), lastBikeFix_ + 1s);
    return lastBikeFix_;
}

void DemoMesh::moveTo(MeshNode& node, double latitude, double longitude, Timestamp when) {
    MeshPosition position;
    position.id = Uuid::random();
    position.nodeNumber = node.number;
    position.latitude = latitude;
    position.longitude = longitude;
    position.altitude = 14;
    position.timestamp = when;
    node.position = position;
}

void DemoMesh::reportBike() {
    auto& bike = nodes_[1];
    const std::size_t report = bikeReports_++;
    const double lat = bike.position->latitude;
    const double lon = bike.position->longitude;
    const double metersPerDegree = kEarthRadiusMeters * std::numbers::pi / 180.0;
    const double metersPerDegreeLon = metersPerDegree * std::cos(lat * std::numbers::pi / 180.0);
    if (report == 0) {
        // The fix made in start() is the parking spot itself.
    } else if (report < kParkedReports) {
        std::uniform_real_distribution<double> jitter(-1.0, 1.0);
        moveTo(bike, kDemoParkingLatitude + jitter(random_) / metersPerDegree,
               kDemoParkingLongitude + jitter(random_) / metersPerDegreeLon, nextBikeFixTime());
    } else {
        const double bearing = bikeBearing_ * std::numbers::pi / 180.0;
        moveTo(bike, lat + kRideStepMeters * std::cos(bearing) / metersPerDegree,
               lon + kRideStepMeters * std::sin(bearing) / metersPerDegreeLon, nextBikeFixTime());
        bikeBearing_ += 2.0;
        if (bike.batteryLevel && *bike.batteryLevel > 5) *bike.batteryLevel -= 1;
    }
    std::uniform_real_distribution<float> snr(2.0F, 9.0F);
    bike.signalToNoise = std::round(snr(random_) * 4.0F) / 4.0F;
    bike.lastSeen = std::chrono::system_clock::now();
    emitNode(bike);
    // After the ride the Bike only shows up in the telemetry rounds.
    if (bikeReports_ < kParkedReports + kRideReports) schedule(kReportInterval, [this] { reportBike(); });
}

void DemoMesh::refreshTelemetry() {
    const bool bikeArrived = bikeReports_ >= kParkedReports + kRideReports;
    std::vector<MeshNode*> candidates;
    for (auto& node : nodes_) {
        if (node.number != kDemoBikeNodeNumber || bikeArrived) candidates.push_back(&node);
    }
    auto& node = *candidates[telemetryTurn_++ % candidates.size()];
    std::uniform_real_distribution<float> snr(-4.0F, 11.0F);
    node.signalToNoise = std::round(snr(random_) * 4.0F) / 4.0F;
    if (node.batteryLevel && *node.batteryLevel > 5 && telemetryTurn_ % 3 == 0) {
        *node.batteryLevel -= 1;
        if (node.voltage) *node.voltage -= 0.01F;
    }
    node.lastSeen = std::chrono::system_clock::now();
    if (node.number == 0x3A9F12C4 && node.position) {
        // Anna strolls around the square.
        moveTo(node, node.position->latitude + 0.00004, node.position->longitude - 0.00003, wholeSecondsNow());
    }
    emitNode(node);
    schedule(kTelemetryInterval, [this] { refreshTelemetry(); });
}

void DemoMesh::chat() {
    const auto& next = kChats[chatTurn_++ % std::size(kChats)];
    const auto sender = nodes_[next.senderIndex].number;
    const auto packetID = nextPacketID_;
    nextPacketID_ += 7;
    emitMessage(sender, kBroadcast, packetID, next.text);
    if (next.deliveredTwice) {
        // The mesh delivers a rebroadcast under the same packet number.
        schedule(kDuplicateDelay, [this, sender, packetID, text = std::string(next.text)] {
            emitMessage(sender, kBroadcast, packetID, text);
        });
    }
    schedule(kChatInterval, [this] { chat(); });
}

void DemoMesh::textSent(const MeshtasticBridgeRequest& request) {
    if (!request.recipient || !find(*request.recipient) || *request.recipient == kDemoLocalNodeNumber) return;
    const auto sender = *request.recipient;
    const auto packetID = nextPacketID_;
    nextPacketID_ += 7;
    schedule(kAnswerDelay, [this, sender, packetID] { emitMessage(sender, kDemoLocalNodeNumber, packetID, "Got it 👍"); });
}

MeshNode* DemoMesh::find(std::uint32_t number) {
    const auto found = std::find_if(nodes_.begin(), nodes_.end(), [number](const auto& n) { return n.number == number; });
    return found == nodes_.end() ? nullptr : &*found;
}

void DemoMesh::emitNode(const MeshNode& node) {
    MeshtasticBridgeResponse response;
    response.event = MeshtasticBridgeEvent::node;
    response.node = node;
    emit_(response);
}

void DemoMesh::emitMessage(std::uint32_t sender, std::uint32_t recipient, std::uint32_t packetID,
                           const std::string& text) {
    if (auto* node = find(sender)) node->lastSeen = std::chrono::system_clock::now();
    MeshMessage message;
    message.id = Uuid::random();
    message.packetID = packetID;
    message.sender = sender;
    message.recipient = recipient;
    message.channel = 0;
    message.text = text;
    message.timestamp = wholeSecondsNow();
    message.isOutgoing = false;
    MeshtasticBridgeResponse response;
    response.event = MeshtasticBridgeEvent::message;
    response.message = message;
    emit_(response);
}

}  // namespace corvane::sim
