// SPDX-License-Identifier: GPL-3.0-or-later
// bluetooth.advertisement200: one advertisement handled in finder mode with
// 200 devices listed: estimator update, entry replaced in place, status text
// and the observers told. It enters where the radio's report does (the
// central port's handler), so the watcher's whole path is counted.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/BluetoothTrackerManager.h"
#include "support/FakeBluetoothPlatform.h"
#include "support/FakeDefaultsStore.h"
#include "support/FakeNotificationCenter.h"
#include "support/ManualEventLoop.h"

namespace {

using namespace corvane;

constexpr int kListed = 200;

Uuid deviceID(int index) {
    char text[40];
    std::snprintf(text, sizeof text, "00000000-0000-4000-8000-%012d", index);
    return *Uuid::parse(text);
}

void advertisement200(benchmark::State& state) {
    const auto folder = std::filesystem::temp_directory_path() / ("corvane-bench-bt-" + std::to_string(getpid()));
    ManualEventLoop loop;
    FakeDefaultsStore defaults;
    FakeNotificationCenter notifications;
    FakeBluetoothPlatform platform;
    {
        BluetoothTrackerManager manager(loop, defaults, notifications, platform.ports(folder.string()));
        std::size_t seen = 0;
        auto observer = manager.changed().subscribe([&] { seen += manager.state().size(); });
        platform.central.report(BluetoothCentralState::poweredOn);
        manager.startScanning();
        std::vector<BluetoothAdvertisement> advertisements;
        for (int i = 0; i < kListed; ++i) {
            advertisements.push_back({deviceID(i), std::nullopt, "Tag " + std::to_string(i), {}, -40 - i % 60});
            platform.central.advertise(advertisements.back());
        }
        manager.startFinding(deviceID(kListed / 2));
        int next = 0;
        for (auto _ : state) {
            auto& advertisement = advertisements[static_cast<std::size_t>(next)];
            advertisement.rssi = -40 - (next * 7 + static_cast<int>(seen % 3)) % 60;
            platform.central.advertise(advertisement);
            next = (next + 37) % kListed;
        }
        benchmark::DoNotOptimize(seen);
    }
    std::filesystem::remove_all(folder);
}
BENCHMARK(advertisement200)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
