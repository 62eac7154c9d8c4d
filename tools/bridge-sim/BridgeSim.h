// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The stand-in bridge proper: turns request lines into reply lines, bent by
// the fault modes in SimOptions, and plays the --script file or the demo mesh
// as unsolicited news after each connect. Owned by main(), lives on its
// SimLoop; every line goes out with a single blocking write (two for --garbage)
// before the call that produced it returns, so output order is write order.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "DemoMesh.h"
#include "SimLoop.h"
#include "SimOptions.h"
#include "SimOutput.h"
#include "SimScript.h"
#include "core/LineSplitter.h"
#include "core/MeshtasticBridgeRequest.h"
#include "core/MeshtasticBridgeResponse.h"
#include "core/MeshtasticRadioSettings.h"

namespace corvane::sim {

class BridgeSim {
public:
    BridgeSim(SimOptions options, std::optional<SimScript> script, SimLoop& loop, SimOutput& out, SimOutput& err,
              std::unique_ptr<SimOutput> log, std::unique_ptr<SimOutput> stamps = nullptr);
    BridgeSim(const BridgeSim&) = delete;
    BridgeSim& operator=(const BridgeSim&) = delete;

    void start();
    void feed(std::string_view chunk);
    void finish();

private:
    struct Reply {
        std::string line;
        std::function<void()> afterWrite;
    };

    void receiveLine(std::string_view line);
    void handle(const MeshtasticBridgeRequest& request, bool lastBeforeExit);
    MeshtasticBridgeResponse answer(const MeshtasticBridgeRequest& request, std::function<void()>& afterWrite);
    void queue(Reply reply);
    void release(Reply reply);
    void writeReply(const Reply& reply);
    void news(MeshtasticBridgeResponse response);
    void writeLine(std::string_view line);
    // --stamp: the wall-clock time is read just before a script line's
    // write() (read after it, a reader woken by the write could beat it) and
    // appended to the file once the line is out.
    long long stampNow() const;
    void stamp(long long micros);
    void flood(std::size_t bytes);
    void connected();
    void simulateRestart();
    void playScript(std::size_t step, std::uint64_t run);

    SimOptions options_;
    std::optional<SimScript> script_;
    SimLoop& loop_;
    SimOutput& out_;
    SimOutput& err_;
    std::unique_ptr<SimOutput> log_;
    std::unique_ptr<SimOutput> stamps_;
    LineSplitter splitter_;
    DemoMesh demo_;
    std::vector<Reply> held_;
    std::uint64_t requestsRead_ = 0;
    std::uint32_t nextPacketID_ = 1001;
    // Bumped by connect and disconnect so a superseded script run goes quiet.
    std::uint64_t scriptRun_ = 0;
    MeshtasticRadioSettings settings_;
};

}  // namespace corvane::sim
