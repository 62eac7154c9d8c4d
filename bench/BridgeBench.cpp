// SPDX-License-Identifier: GPL-3.0-or-later
// bridge.roundtrip: one sendText through MeshRadio on the Qt loop to a real
// corvane-bridge-sim child and back, against a bare echo of a line of the
// same size through a pipe to `cat` (run with --reference; prints
// "RESULT <median microseconds>"; 50 trips instead of 5000 when
// CORVANE_BENCH_SMOKE is set). Both sides pay for two pipe hops and two
// process wake-ups; what ours adds is encoding, decoding, correlation,
// timers and Qt's event dispatch.
#include <benchmark/benchmark.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "app/MeshRadio.h"
#include "platform/QProcessBridgeProcess.h"
#include "EchoReference.h"
#include "platform/QtEventLoop.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

fs::path binFolder;

double p99Seconds(std::vector<double>& seconds) {
    if (seconds.empty()) return 0;
    std::sort(seconds.begin(), seconds.end());
    const auto index = static_cast<std::size_t>(static_cast<double>(seconds.size() - 1) * 0.99);
    return seconds[index];
}

void bridgeRoundtrip(benchmark::State& state) {
    const auto devices = fs::temp_directory_path() / ("corvane-bench-bridge-" + std::to_string(::getpid()));
    fs::create_directories(devices);
    std::ofstream(devices / "ttyACM0").flush();
    ::setenv("CORVANE_DEVICE_DIR", devices.c_str(), 1);
    ::setenv("HALVO_MESHTASTIC_BRIDGE_PATH", (binFolder / "corvane-bridge-sim").c_str(), 1);
    ::unsetenv("CORVANE_BRIDGE_SIM_ARGS");

    corvane::QtEventLoop loop;
    std::vector<double> seconds;
    {
        corvane::MeshRadio radio(loop, [] { return std::make_unique<corvane::QProcessBridgeProcess>(); });
        QEventLoop waiting;
        bool ok = false;
        radio.connect(std::nullopt, [](const corvane::MeshtasticBridgeResponse&) {},
                      [&](corvane::Result<std::string, corvane::MeshRadioError> result) {
                          ok = result.ok();
                          waiting.quit();
                      });
        waiting.exec();
        if (!ok) {
            state.SkipWithError("the bridge stand-in did not connect");
            fs::remove_all(devices);
            return;
        }
        const std::string text = "Parked at the station, back in ten minutes";
        for (auto _ : state) {
            const auto start = Clock::now();
            ok = false;
            bool done = false;
            radio.sendText(text, std::nullopt, 0, [&](corvane::Result<std::uint32_t, corvane::MeshRadioError> result) {
                ok = result.ok();
                done = true;
            });
            // The application's own loop dispatches in the same way; a
            // nested QEventLoop per request would add its own wake-ups.
            while (!done) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            seconds.push_back(std::chrono::duration<double>(Clock::now() - start).count());
            if (!ok) {
                state.SkipWithError("sendText failed");
                break;
            }
        }
    }
    state.counters["p99_seconds"] = p99Seconds(seconds);
    fs::remove_all(devices);
}
BENCHMARK(bridgeRoundtrip)->Name("bridge_roundtrip")->Unit(benchmark::kMicrosecond)->UseRealTime();

// The bare round trip: one line to `cat` and the same line back.
int reference(int trips) {
    int toChild[2];
    int fromChild[2];
    if (::pipe(toChild) != 0 || ::pipe(fromChild) != 0) return 1;
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(toChild[0], 0);
        ::dup2(fromChild[1], 1);
        ::close(toChild[1]);
        ::close(fromChild[0]);
        ::execlp("cat", "cat", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(toChild[0]);
    ::close(fromChild[1]);
    // As long as a sendText request line.
    const auto micros = corvane::bench::echoTrips(toChild[1], fromChild[0], std::string(150, 'x') + "\n", trips);
    ::close(toChild[1]);
    ::close(fromChild[0]);
    ::waitpid(child, nullptr, 0);
    if (!micros.empty()) {
        const auto p99 = micros[static_cast<std::size_t>(static_cast<double>(micros.size() - 1) * 0.99)];
        std::printf("INFO bridge.roundtrip ref bare pipe echo to cat, %d trips, p99 %.1fus\n", trips, p99);
    }
    return corvane::bench::printMedian(micros);
}

}  // namespace

int main(int argc, char** argv) {
    return corvane::bench::qtBenchmarkMain(argc, argv, binFolder,
                                           [] { return reference(std::getenv("CORVANE_BENCH_SMOKE") ? 50 : 5000); });
}
