// SPDX-License-Identifier: GPL-3.0-or-later
// The stores as the model uses them: appends to full files (each append drops
// the oldest record, fsync included) and the start-up load of both files.
// Each append is also timed on its own so the runner can report a p99.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core/MessageStore.h"
#include "core/PositionStore.h"
#include "core/PrivateFile.h"

namespace corvane {
namespace {

class TempFolder {
public:
    TempFolder() {
        std::string pattern = "/tmp/corvane-bench-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        path_ = pattern;
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    std::string file(const char* name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

const Timestamp kStart = std::chrono::system_clock::from_time_t(1772357400);

MeshPosition positionNumber(std::size_t i) {
    const auto n = static_cast<double>(i);
    return MeshPosition{Uuid::random(), static_cast<std::uint32_t>(0x10000000 + i % 40), 48.137154 + n * 1.37e-6,
                        11.576124 - n * 2.11e-6, static_cast<std::int32_t>(500 + i % 100),
                        kStart + std::chrono::seconds(i * 30), std::nullopt};
}

MeshMessage messageNumber(std::size_t i) {
    return MeshMessage{Uuid::random(), static_cast<std::uint32_t>(100000 + i), static_cast<std::uint32_t>(0x10000000 + i % 40),
                       0xFFFFFFFF, 0, "Message " + std::to_string(i) + " from the mesh: all quiet at the gate.",
                       kStart + std::chrono::seconds(i * 30), i % 3 == 0};
}

template <typename Store, typename Make>
std::string writeFull(const TempFolder& folder, const char* name, std::size_t count, Make make) {
    std::vector<decltype(make(std::size_t{}))> records;
    for (std::size_t i = 0; i < count; ++i) records.push_back(make(i));
    const std::string path = folder.file(name);
    if (!PrivateFile::write(path, Store::encodeFile(records).value())) std::abort();
    return path;
}

void reportP99(benchmark::State& state, std::vector<double>& seconds) {
    if (seconds.empty()) return;
    const auto rank = static_cast<std::size_t>(0.99 * static_cast<double>(seconds.size() - 1));
    std::nth_element(seconds.begin(), seconds.begin() + static_cast<std::ptrdiff_t>(rank), seconds.end());
    state.counters["p99_seconds"] = seconds[rank];
}

template <typename Store, typename Make>
void appendToFullFile(benchmark::State& state, const char* name, Make make) {
    TempFolder folder;
    const std::size_t cap = Store::kMaximumCount;
    Store store(writeFull<Store>(folder, name, cap, make));
    std::size_t next = cap;
    // The model's store is warm: it has loaded and appended before.
    if (!store.append(make(next++), cap)) std::abort();
    std::vector<double> seconds;
    for (auto _ : state) {
        const auto record = make(next++);
        const auto begin = std::chrono::steady_clock::now();
        const auto result = store.append(record, cap);
        seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count());
        if (!result) state.SkipWithError(result.error().message.c_str());
    }
    reportP99(state, seconds);
}

void positions_append10k(benchmark::State& state) {
    appendToFullFile<PositionStore>(state, "positions.json", positionNumber);
}

void messages_append5k(benchmark::State& state) {
    appendToFullFile<MessageStore>(state, "messages.json", messageNumber);
}

void store_load(benchmark::State& state) {
    TempFolder folder;
    const auto positions = writeFull<PositionStore>(folder, "positions.json", PositionStore::kMaximumCount, positionNumber);
    const auto messages = writeFull<MessageStore>(folder, "messages.json", MessageStore::kMaximumCount, messageNumber);
    for (auto _ : state) {
        // Fresh stores, as at start-up: nothing cached.
        PositionStore positionStore(positions);
        MessageStore messageStore(messages);
        const auto loadedPositions = positionStore.load();
        const auto loadedMessages = messageStore.load();
        if (loadedPositions.size() != PositionStore::kMaximumCount || loadedMessages.size() != MessageStore::kMaximumCount) {
            state.SkipWithError("files did not load");
        }
        benchmark::DoNotOptimize(loadedPositions.data());
        benchmark::DoNotOptimize(loadedMessages.data());
    }
}

BENCHMARK(positions_append10k)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(messages_append5k)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(store_load)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace corvane

BENCHMARK_MAIN();
