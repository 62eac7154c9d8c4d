// SPDX-License-Identifier: GPL-3.0-or-later
// corvane-bridge-sim: a stand-in for the Halvo Meshtastic Bridge that tests,
// benchmarks and the demo start in its place. See --help and tools/README.md.
#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "BridgeSim.h"
#include "SimLoop.h"
#include "SimOptions.h"
#include "SimOutput.h"
#include "SimScript.h"

int main(int argc, char** argv) {
    using namespace corvane::sim;
    // A vanished reader must show up as a failed write, not kill us silently.
    std::signal(SIGPIPE, SIG_IGN);

    std::vector<std::string> arguments;
    if (const char* fromEnvironment = std::getenv(kArgumentsEnvironmentVariable)) {
        arguments = splitArgumentList(fromEnvironment);
    }
    for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);

    auto options = parseSimOptions(arguments);
    if (!options) {
        std::fprintf(stderr, "corvane-bridge-sim: %s\n", options.error().c_str());
        return 2;
    }
    if (options->help) {
        std::fputs(simHelpText().c_str(), stdout);
        return 0;
    }

    std::optional<SimScript> script;
    if (options->scriptPath) {
        auto loaded = SimScript::load(*options->scriptPath);
        if (!loaded) {
            std::fprintf(stderr, "corvane-bridge-sim: %s\n", loaded.error().c_str());
            return 2;
        }
        script = std::move(*loaded);
    }
    const auto openAppending = [](const std::string& path, const char* what) -> std::unique_ptr<SimOutput> {
        const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0) {
            std::fprintf(stderr, "corvane-bridge-sim: cannot open %s %s\n", what, path.c_str());
            return nullptr;
        }
        return std::make_unique<SimOutput>(fd, true);
    };
    std::unique_ptr<SimOutput> log;
    if (options->logPath && !(log = openAppending(*options->logPath, "log"))) return 2;
    std::unique_ptr<SimOutput> stamps;
    if (options->stampPath && !(stamps = openAppending(*options->stampPath, "stamp file"))) return 2;

    SimLoop loop;
    SimOutput out(STDOUT_FILENO);
    SimOutput err(STDERR_FILENO);
    BridgeSim bridge(std::move(*options), std::move(script), loop, out, err, std::move(log), std::move(stamps));
    bridge.start();
    return loop.run(
        STDIN_FILENO, [&bridge](std::string_view chunk) { bridge.feed(chunk); }, [&bridge] { bridge.finish(); });
}
