// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The simulated mesh of --demo: a local radio, a few remote nodes with
// telemetry, two channels, chatty neighbours (one message delivered twice) and
// the node "Bike", which stays parked on Rådhuspladsen for 20 s and then rides
// away 40 m per report. Owned by BridgeSim; runs on its SimLoop. Every line it
// produces goes out through `emit` as unsolicited news; start() begins a fresh
// run after each connect, stop() silences it. Durations shrink by `speed`.
#include <cstdint>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "SimLoop.h"
#include "core/MeshNode.h"
#include "core/MeshtasticBridgeRequest.h"
#include "core/MeshtasticBridgeResponse.h"

namespace corvane::sim {

inline constexpr std::uint32_t kDemoLocalNodeNumber = 0x4C0A7E01;  // 1275756033
inline constexpr std::uint32_t kDemoBikeNodeNumber = 0x0B1CE5A1;   // 186443169
inline constexpr double kDemoParkingLatitude = 55.675680;
inline constexpr double kDemoParkingLongitude = 12.569920;

class DemoMesh {
public:
    using Emit = std::function<void(MeshtasticBridgeResponse)>;

    DemoMesh(SimLoop& loop, double speed, Emit emit);
    ~DemoMesh();
    DemoMesh(const DemoMesh&) = delete;
    DemoMesh& operator=(const DemoMesh&) = delete;

    void start();
    void stop();
    // A direct message to one of our nodes is answered by that node.
    void textSent(const MeshtasticBridgeRequest& request);

private:
    void schedule(double simulatedSeconds, std::function<void()> action);
    void announce();
    void reportBike();
    void refreshTelemetry();
    void chat();
    void emitNode(const MeshNode& node);
    void emitMessage(std::uint32_t sender, std::uint32_t recipient, std::uint32_t packetID, const std::string& text);
    MeshNode* find(std::uint32_t number);
    void moveTo(MeshNode& node, double latitude, double longitude, Timestamp when);
    Timestamp nextBikeFixTime();

    SimLoop& loop_;
    double speed_;
    Emit emit_;
    std::set<SimLoop::TimerId> timers_;
    std::vector<MeshNode> nodes_;
    std::minstd_rand random_;
    std::size_t bikeReports_ = 0;
    double bikeBearing_ = 0;
    Timestamp lastBikeFix_{};
    std::size_t telemetryTurn_ = 0;
    std::size_t chatTurn_ = 0;
    std::uint32_t nextPacketID_ = 700001;
};

}  // namespace corvane::sim
