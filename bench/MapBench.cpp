// SPDX-License-Identifier: GPL-3.0-or-later
// ui.mapPaint10k: one repaint of the map widget offscreen in grid mode with
// 20 trails of 500 points (10,000 in all) and 200 markers, against a bare
// QPainter drawing the same polylines and points into an image of the same
// size (run with --reference; prints "RESULT <median milliseconds>", fewer
// runs when CORVANE_BENCH_SMOKE is set). What ours adds is the projection of
// every point, the grid, the fading trail shades, the circle, badges with
// titles and the attribution. ui.mapPaint10kNewFix is the same repaint after
// a new fix, when every trail is stroked again.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "ui/map/MapProjection.h"
#include "ui/map/MapView.h"

namespace {

using Clock = std::chrono::steady_clock;

const QSize kSize(1200, 800);
const corvane::MapRegion kRegion{{48.1, 11.6}, 0.08, 0.12};
constexpr int kTrails = 20;
constexpr int kTrailPoints = 500;
constexpr int kMarkers = 200;

struct Scene {
    std::vector<corvane::MapTrail> trails;
    std::vector<corvane::MapMarker> markers;
};

Scene makeScene() {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> latitude(kRegion.center.latitude - kRegion.latitudeDelta / 2,
                                                    kRegion.center.latitude + kRegion.latitudeDelta / 2);
    std::uniform_real_distribution<double> longitude(kRegion.center.longitude - kRegion.longitudeDelta / 2,
                                                     kRegion.center.longitude + kRegion.longitudeDelta / 2);
    std::normal_distribution<double> step(0, 0.0004);
    Scene scene;
    for (int t = 0; t < kTrails; ++t) {
        corvane::MapTrail trail{QString::number(t), {}};
        corvane::GeoCoordinate at{latitude(random), longitude(random)};
        for (int i = 0; i < kTrailPoints; ++i) {
            at.latitude += step(random);
            at.longitude += step(random);
            trail.points.push_back(at);
        }
        scene.trails.push_back(std::move(trail));
    }
    const char* symbols[] = {"bicycle", "antenna.radiowaves.left.and.right", "mappin.circle.fill"};
    for (int m = 0; m < kMarkers; ++m) {
        scene.markers.push_back({QString::number(m), {latitude(random), longitude(random)}, symbols[m % 3],
                                 QStringLiteral("Node %1").arg(m), m % 20 == 0});
    }
    return scene;
}

QIcon symbolIcon(const QString&) {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::white);
    return QIcon(pixmap);
}

// Each repaint follows a real change: one marker moves (a node's new fix),
// and with newFix its trail also gains that point, so every trail is stroked
// again; without it the trails are as last painted, as after a selection, a
// marker's move or a tile's arrival.
void paintAfterChange(benchmark::State& state, bool newFix) {
    Scene scene = makeScene();
    corvane::MapView view;
    view.resize(kSize);
    view.setRegion(kRegion);
    view.setSymbolIcons(symbolIcon);
    view.setTrails(scene.trails);
    view.setMarkers(scene.markers);
    view.setCircle(corvane::MapCircle{kRegion.center, 300});
    QImage image(kSize, QImage::Format_ARGB32_Premultiplied);
    view.render(&image);
    std::size_t step = 0;
    for (auto _ : state) {
        corvane::MapTrail& trail = scene.trails[step % scene.trails.size()];
        corvane::GeoCoordinate fix = trail.points.back();
        fix.latitude += 0.0002;
        scene.markers[step % scene.markers.size()].coordinate = fix;
        view.setMarkers(scene.markers);
        if (newFix) {
            trail.points.push_back(fix);
            view.setTrails(scene.trails);
        }
        ++step;
        view.render(&image);
        benchmark::DoNotOptimize(image.constBits());
    }
}

void mapPaint10k(benchmark::State& state) { paintAfterChange(state, false); }
BENCHMARK(mapPaint10k)->Unit(benchmark::kMillisecond)->UseRealTime();

void mapPaint10kNewFix(benchmark::State& state) { paintAfterChange(state, true); }
BENCHMARK(mapPaint10kNewFix)->Unit(benchmark::kMillisecond)->UseRealTime();

int reference(int runs) {
    const Scene scene = makeScene();
    const corvane::MapProjection projection(kRegion.center, corvane::MapProjection::zoomForRegion(kRegion, kSize),
                                            kSize);
    std::vector<std::vector<QPointF>> lines;
    for (const corvane::MapTrail& trail : scene.trails) {
        std::vector<QPointF>& line = lines.emplace_back();
        for (const corvane::GeoCoordinate& point : trail.points) line.push_back(projection.toScreen(point));
    }
    std::vector<QPointF> points;
    for (const corvane::MapMarker& marker : scene.markers) points.push_back(projection.toScreen(marker.coordinate));

    QImage image(kSize, QImage::Format_ARGB32_Premultiplied);
    std::vector<double> millis;
    for (int run = 0; run < runs; ++run) {
        const auto start = Clock::now();
        QPainter painter(&image);
        painter.fillRect(image.rect(), Qt::white);
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setPen(QPen(Qt::blue, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        for (const auto& line : lines) painter.drawPolyline(line.data(), int(line.size()));
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::red);
        for (const QPointF& point : points) painter.drawEllipse(point, 13, 13);
        painter.end();
        millis.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(millis.begin(), millis.end());
    std::printf("INFO ui.mapPaint10k ref bare QPainter: %d runs, min %.2fms, max %.2fms\n", runs, millis.front(),
                millis.back());
    std::printf("RESULT %.3f\n", millis[millis.size() / 2]);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--reference") return reference(std::getenv("CORVANE_BENCH_SMOKE") ? 2 : 30);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
