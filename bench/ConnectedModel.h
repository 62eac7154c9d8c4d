// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the model and window figures start from: a CorvaneModel on the manual
// loop with the test fakes, in a folder of its own (removed at the end), its
// fake bridge connected and `nodeLines` already reported; and the node lines.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/CorvaneModel.h"
#include "support/FakeBluetoothPlatform.h"
#include "support/FakeBridgeProcess.h"
#include "support/FakeDefaultsStore.h"
#include "support/FakeNotificationCenter.h"
#include "support/FakeServiceBrowser.h"
#include "support/ManualEventLoop.h"

namespace corvane::bench {

// The bridge's `node` line for node 1000 + `index`, named "Node <index><suffix>".
inline std::string nodeLine(int index, int battery, const std::string& suffix = {}) {
    char line[512];
    std::snprintf(line, sizeof line,
                  R"({"protocolVersion":1,"event":"node","node":{"number":%d,"longName":"Node %d%s","shortName":"N%d",)"
                  R"("hardware":"T_ECHO","batteryLevel":%d,"voltage":3.9,"signalToNoise":6.25,"hopsAway":%d,)"
                  R"("lastSeen":"2026-03-01T09:30:00Z"}})"
                  "\n",
                  1000 + index, index, suffix.c_str(), index, battery, index % 4);
    return line;
}

struct ConnectedModel {
    ConnectedModel(const std::string& name, const std::vector<std::string>& nodeLines)
        : folder(std::filesystem::temp_directory_path() / ("corvane-bench-" + name + "-" + std::to_string(getpid()))) {
        std::filesystem::create_directories(folder / "dev");
        if (std::FILE* radio = std::fopen((folder / "dev" / "ttyACM0").c_str(), "w")) std::fclose(radio);
        setenv("CORVANE_DEVICE_DIR", (folder / "dev").c_str(), 1);
        setenv("HALVO_MESHTASTIC_BRIDGE_PATH", "/bin/true", 1);
        defaults.setNumber("guardedNode", 1000 + 57);
        const auto data = (folder / "data").string();
        model = std::make_unique<CorvaneModel>(CorvaneModel::Dependencies{
            .loop = loop, .defaults = defaults, .notifications = notifications, .serviceBrowser = services,
            .makeProcess = bridges.factory(), .dataFolder = data, .deviceFolder = data, .bluetooth = bluetooth.ports(data)});
        loop.runPending();
        auto& child = bridges.last();
        child.output(R"({"protocolVersion":1,"requestID":")" + child.request().requestID.string() +
                     R"(","event":"connected","port":"/dev/ttyACM0"})" "\n");
        loop.runPending();
        for (const auto& line : nodeLines) child.output(line);
        loop.runPending();
    }
    ~ConnectedModel() {
        model.reset();
        std::filesystem::remove_all(folder);
    }
    ConnectedModel(const ConnectedModel&) = delete;
    ConnectedModel& operator=(const ConnectedModel&) = delete;

    FakeBridgeProcess::Child& bridge() { return bridges.last(); }

    std::filesystem::path folder;
    ManualEventLoop loop;
    FakeDefaultsStore defaults;
    FakeNotificationCenter notifications;
    FakeBridgeFactory bridges;
    FakeBluetoothPlatform bluetooth;
    FakeServiceBrowser services{loop};
    std::unique_ptr<CorvaneModel> model;
};

}  // namespace corvane::bench
