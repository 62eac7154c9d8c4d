// SPDX-License-Identifier: GPL-3.0-or-later
// model.nodeEvent200: one `node` line from the bridge, decoded, handled by the
// model and the node list re-sorted, with 200 nodes already known. The line
// enters where the real bridge's output does (the process port), so framing,
// decoding, routing and the model's work are all counted.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ConnectedModel.h"

namespace {

using namespace corvane;

constexpr int kKnownNodes = 200;

void nodeEvent200(benchmark::State& state) {
    std::vector<std::string> known;
    for (int i = 0; i < kKnownNodes; ++i) known.push_back(bench::nodeLine(i, 50));
    bench::ConnectedModel scene("model", known);
    if (scene.model->nodes().size() != kKnownNodes) state.SkipWithError("nodes did not arrive");
    // Lines are made up front so that only their handling is timed.
    std::vector<std::string> lines;
    for (int i = 0; i < 4096; ++i) lines.push_back(bench::nodeLine((i * 37) % kKnownNodes, i % 101));
    std::size_t next = 0;
    for (auto _ : state) {
        scene.bridge().output(lines[next]);
        next = (next + 1) % lines.size();
        benchmark::DoNotOptimize(scene.model->nodes().data());
    }
}

BENCHMARK(nodeEvent200)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
