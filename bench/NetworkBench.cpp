// SPDX-License-Identifier: GPL-3.0-or-later
// network.browseUpdate300: one browse result that changes one service while
// 300 devices are known (15 types of 20 services each): folding into
// devices, the online recompute, the sort and scheduling the save. The file
// write itself is not part of it (one per loop turn however many updates).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/LocalNetworkBrowser.h"
#include "support/FakeNotificationCenter.h"
#include "support/ManualEventLoop.h"

namespace {

using namespace corvane;

constexpr int kDevices = 300;
constexpr int kPerType = kDevices / 15;

// Hands result sets to the browser synchronously, as a measured call.
class DirectServiceBrowser final : public ServiceBrowser {
public:
    void start(const std::vector<std::string>&, Handlers handlers) override { handlers_ = std::move(handlers); }
    void stop() override { handlers_ = {}; }
    void confirmDepartures(const std::set<std::string>&) override {}
    void deliver(const std::string& type, const std::vector<BrowsedService>& results) { handlers_.results(type, results); }

private:
    Handlers handlers_;
};

// Mixed names: accents, digits to be compared by value, shared prefixes.
std::string deviceName(int index) {
    static const char* kRooms[] = {"Living Room", "Küche", "Office", "Bedroom", "Garage", "Café"};
    return std::string(kRooms[index % 6]) + " Speaker " + std::to_string(index);
}

std::vector<BrowsedService> typeSet(int type, bool withFirst) {
    const auto& types = LocalNetworkBrowser::serviceTypes();
    std::vector<BrowsedService> results;
    for (int slot = withFirst ? 0 : 1; slot < kPerType; ++slot) {
        results.push_back({deviceName(type * kPerType + slot), types[static_cast<std::size_t>(type)], "local.",
                           std::string("eth0")});
    }
    return results;
}

void browseUpdate300(benchmark::State& state) {
    const auto folder =
        std::filesystem::temp_directory_path() / ("corvane-bench-network-" + std::to_string(::getpid()));
    ManualEventLoop loop;
    DirectServiceBrowser services;
    FakeNotificationCenter notifications;
    int writes = 0;
    {
        LocalNetworkBrowser browser({.loop = loop,
                                     .browser = services,
                                     .notifications = notifications,
                                     .dataFolder = folder.string(),
                                     .writeFile = [&writes](const std::string&, std::string_view) -> Result<Done, FileError> {
                                         ++writes;
                                         return Done{};
                                     }});
        browser.start();
        const auto& types = LocalNetworkBrowser::serviceTypes();
        for (int type = 0; type < 15; ++type) services.deliver(types[static_cast<std::size_t>(type)], typeSet(type, true));
        for (int index = 0; index < kDevices; index += 7) browser.setLossAlert(true, browser.devices()[static_cast<std::size_t>(index)].id);
        loop.runPending();
        // Prepared sets: the measured part starts at the hand-over.
        std::vector<std::vector<BrowsedService>> sets[2];
        for (int type = 0; type < 15; ++type) {
            sets[0].push_back(typeSet(type, false));
            sets[1].push_back(typeSet(type, true));
        }
        std::size_t step = 0;
        for (auto _ : state) {
            const std::size_t type = step % 15;
            services.deliver(types[type], sets[(step / 15) % 2][type]);
            ++step;
        }
        loop.runPending();
        if (browser.devices().size() != kDevices) state.SkipWithError("devices were lost");
    }
    std::filesystem::remove_all(folder);
    state.counters["writes"] = writes;
}

}  // namespace

BENCHMARK(browseUpdate300)->Unit(benchmark::kMicrosecond)->UseRealTime();

BENCHMARK_MAIN();
