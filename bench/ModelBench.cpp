// SPDX-License-Identifier: GPL-3.0-or-later
// model.nodeEvent200: one `node` line from the bridge, decoded, handled by the
// model and the node list re-sorted, with 200 nodes already known. The line
// enters where the real bridge's output does (the process port), so framing,
// decoding, routing and the model's work are all counted.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/CorvaneModel.h"
#include "support/FakeBluetoothPlatform.h"
#include "support/FakeBridgeProcess.h"
#include "support/FakeDefaultsStore.h"
#include "support/FakeNotificationCenter.h"
#include "support/FakeServiceBrowser.h"
#include "support/ManualEventLoop.h"

namespace {

using namespace corvane;

constexpr int kKnownNodes = 200;

std::string nodeLine(int index, int battery) {
    char line[512];
    std::snprintf(line, sizeof line,
                  R"({"protocolVersion":1,"event":"node","node":{"number":%d,"longName":"Node %d","shortName":"N%d",)"
                  R"("hardware":"T_ECHO","batteryLevel":%d,"voltage":3.9,"signalToNoise":6.25,"hopsAway":%d,)"
                  R"("lastSeen":"2026-03-01T09:30:00Z"}})"
                  "\n",
                  1000 + index, index, index, battery, index % 4);
    return line;
}

void nodeEvent200(benchmark::State& state) {
    const auto folder = std::filesystem::temp_directory_path() / ("corvane-bench-model-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder / "dev");
    std::FILE* radio = std::fopen((folder / "dev" / "ttyACM0").c_str(), "w");
    if (radio) std::fclose(radio);
    setenv("CORVANE_DEVICE_DIR", (folder / "dev").c_str(), 1);
    setenv("HALVO_MESHTASTIC_BRIDGE_PATH", "/bin/true", 1);

    ManualEventLoop loop;
    FakeDefaultsStore defaults;
    defaults.setNumber("guardedNode", 1000 + 57);
    FakeNotificationCenter notifications;
    FakeBridgeFactory bridges;
    FakeBluetoothPlatform bluetooth;
    FakeServiceBrowser services(loop);
    {
        CorvaneModel model({.loop = loop,
                            .defaults = defaults,
                            .notifications = notifications,
                            .serviceBrowser = services,
                            .makeProcess = bridges.factory(),
                            .dataFolder = (folder / "data").string(),
                            .deviceFolder = (folder / "data").string(),
                            .bluetooth = bluetooth.ports((folder / "data").string())});
        loop.runPending();
        auto& child = bridges.last();
        const auto connect = child.request();
        child.output(R"({"protocolVersion":1,"requestID":")" + connect.requestID.string() +
                     R"(","event":"connected","port":"/dev/ttyACM0"})" "\n");
        loop.runPending();
        for (int i = 0; i < kKnownNodes; ++i) child.output(nodeLine(i, 50));
        if (model.nodes().size() != kKnownNodes) state.SkipWithError("nodes did not arrive");

        // Lines are made up front so that only their handling is timed.
        std::vector<std::string> lines;
        for (int i = 0; i < 4096; ++i) lines.push_back(nodeLine((i * 37) % kKnownNodes, i % 101));
        std::size_t next = 0;
        for (auto _ : state) {
            child.output(lines[next]);
            next = (next + 1) % lines.size();
            benchmark::DoNotOptimize(model.nodes().data());
        }
    }
    std::filesystem::remove_all(folder);
}

BENCHMARK(nodeEvent200)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
