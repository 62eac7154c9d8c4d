// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Everything a run of corvane-bridge-sim can be told: the fault modes of the
// scripted bridge and the demo mesh's pace. Parsed once in main() from
// CORVANE_BRIDGE_SIM_ARGS followed by the command line (so the command line
// wins for single-valued options; repeatable ones accumulate), then read-only.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "core/MeshtasticBridgeCommand.h"
#include "core/Result.h"

namespace corvane::sim {

struct SimOptions {
    bool help = false;
    bool serve = false;
    bool jsonl = false;

    bool demo = false;
    double speed = 1.0;
    std::optional<std::uint32_t> localNode;

    std::set<MeshtasticBridgeCommand> noAnswer;
    // Present text: the "error" field; absent text: an error line without it.
    std::map<MeshtasticBridgeCommand, std::optional<std::string>> errors;
    std::int64_t protocolVersion = kMeshtasticBridgeProtocolVersion;
    std::size_t reverse = 0;
    bool garbage = false;
    std::size_t oversized = 0;
    std::optional<std::uint64_t> exitAfter;
    bool exitBeforeAnswer = false;
    std::size_t stderrFlood = 0;
    std::chrono::milliseconds replyDelay{0};
    bool restartAfterApply = true;
    bool checkPort = false;
    std::optional<std::string> scriptPath;
    std::optional<std::string> logPath;
    std::optional<std::string> stampPath;

    // Simulated durations (demo pace, radio restart) shrink by `speed`.
    template <typename Duration>
    std::chrono::steady_clock::duration scaled(Duration duration) const {
        return std::chrono::duration_cast<std::chrono::steady_clock::duration>(
            std::chrono::duration<double>(duration) / speed);
    }
};

inline constexpr const char* kArgumentsEnvironmentVariable = "CORVANE_BRIDGE_SIM_ARGS";

// Splits at white space; single or double quotes keep white space inside one
// argument (no escapes), which is all an environment variable needs.
std::vector<std::string> splitArgumentList(std::string_view text);

Result<SimOptions, std::string> parseSimOptions(const std::vector<std::string>& arguments);

std::string simHelpText();

}  // namespace corvane::sim
