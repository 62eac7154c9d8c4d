// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the bridge figures share: the bare echo their references time (a
// pipe to `cat`, a pseudo-terminal), the RESULT line the runner reads, and a
// main that answers --reference or runs Google Benchmark on Qt's loop.
#include <benchmark/benchmark.h>
#include <poll.h>
#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/QtEventLoop.h"

namespace corvane::bench {

// Microseconds per trip of `bytes` written to `out` until as many came back
// on `in`, sorted; empty when the echo broke off. With a `gap`, every trip
// after the first starts from an idle wait of that length, untimed, as a
// paced measurement of ours does.
inline std::vector<double> echoTrips(int out, int in, const std::string& bytes, int trips,
                                     std::chrono::milliseconds gap = {}) {
    std::vector<double> micros;
    std::vector<char> buffer(4096);
    for (int trip = 0; trip < trips; ++trip) {
        if (trip > 0 && gap.count() > 0) ::poll(nullptr, 0, static_cast<int>(gap.count()));
        const auto start = std::chrono::steady_clock::now();
        if (::write(out, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) return {};
        for (std::size_t received = 0; received < bytes.size();) {
            pollfd readable{in, POLLIN, 0};
            const auto got = ::poll(&readable, 1, 2000) > 0 ? ::read(in, buffer.data(), buffer.size()) : -1;
            if (got <= 0) return {};
            received += static_cast<std::size_t>(got);
        }
        micros.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(micros.begin(), micros.end());
    return micros;
}

// The median as the runner's RESULT line; 1 (failed) without trips.
inline int printMedian(const std::vector<double>& micros) {
    if (micros.empty()) return 1;
    std::printf("RESULT %.3f\n", micros[micros.size() / 2]);
    return 0;
}

// `binFolder` is set to the program's folder, where the bridge programs are.
template <typename Reference>
int qtBenchmarkMain(int argc, char** argv, std::filesystem::path& binFolder, Reference reference) {
    binFolder = std::filesystem::absolute(std::filesystem::path(argv[0])).parent_path();
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--reference") return reference();
    }
    QtEventLoop::preferUnixDispatcher();
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

}  // namespace corvane::bench
