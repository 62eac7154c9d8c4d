// SPDX-License-Identifier: GPL-3.0-or-later
// ui.nodeUpdate200: one `node` line from the bridge, with 200 nodes listed,
// until the window's refresh has run and the sidebar shows the update (the
// node is renamed, so its row changes and moves). The reference
// (--reference) is the same line handled by the model alone, without a
// window: the ratio is the window's share. Offscreen; the model on the
// manual loop, whose posted work is the window's once-per-turn refresh.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "ConnectedModel.h"
#include "ui/MainWindow.h"
#include "ui/UiContext.h"
#include "ui/WindowSections.h"

namespace {

using namespace corvane;

constexpr int kKnownNodes = 200;

std::string nodeLine(int index, int version) {
    return bench::nodeLine(index, version % 101, " v" + std::to_string(version));
}

std::vector<std::string> knownNodes() {
    std::vector<std::string> lines;
    for (int i = 0; i < kKnownNodes; ++i) lines.push_back(nodeLine(i, 0));
    return lines;
}

// A connected model with 200 nodes, and optionally the window over it.
struct Scene {
    explicit Scene(bool withWindow) : world("ui", knownNodes()) {
        setenv("CORVANE_TILE_URL", "", 1);
        if (withWindow) {
            context = std::make_unique<UiContext>(UiContext{*world.model, world.loop, world.defaults, QStringLiteral("bench"),
                                                            MapTileSource::resolve(world.defaults, QStringLiteral("bench"))});
            window = std::make_unique<MainWindow>(*context, makeWindowSections(*context));
            window->show();
            QApplication::processEvents();
            world.loop.runPending();
        }
        for (int i = 0; i < 4096; ++i) lines.push_back(nodeLine((i * 37) % kKnownNodes, i + 1));
    }
    void handleNext() {
        world.bridge().output(lines[next]);
        next = (next + 1) % lines.size();
        world.loop.runPending();
    }

    bench::ConnectedModel world;  // outlives the window over it
    std::unique_ptr<UiContext> context;
    std::unique_ptr<MainWindow> window;
    std::vector<std::string> lines;
    std::size_t next = 0;
};

void nodeUpdate200(benchmark::State& state) {
    Scene scene(true);
    if (scene.world.model->nodes().size() != kKnownNodes) state.SkipWithError("nodes did not arrive");
    for (auto _ : state) scene.handleNext();
}
BENCHMARK(nodeUpdate200)->Unit(benchmark::kMicrosecond)->UseRealTime();

int reference(int events) {
    Scene scene(false);
    std::vector<double> micros;
    for (int i = 0; i < events; ++i) {
        const auto start = std::chrono::steady_clock::now();
        scene.handleNext();
        micros.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(micros.begin(), micros.end());
    std::printf("INFO ui.nodeUpdate200 ref: the model alone, %d node events with 200 nodes known\n", events);
    std::printf("RESULT %.3f\n", micros[micros.size() / 2]);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--reference") return reference(std::getenv("CORVANE_BENCH_SMOKE") ? 200 : 4000);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
