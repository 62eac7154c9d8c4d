// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A --script file read into steps before the bridge starts, so that a broken
// script fails the launch (exit status 2) instead of surfacing mid-test. Plain
// value; BridgeSim plays it after each connect reply.
#include <chrono>
#include <cstddef>
#include <string>
#include <variant>
#include <vector>

#include "core/Result.h"

namespace corvane::sim {

struct SimScript {
    struct Line {
        std::string text;
    };
    struct Sleep {
        std::chrono::milliseconds duration;
    };
    struct Exit {
        int status;
    };
    struct Stderr {
        std::size_t bytes;
    };
    using Step = std::variant<Line, Sleep, Exit, Stderr>;

    std::vector<Step> steps;

    // Errors name the file and the line number.
    static Result<SimScript, std::string> parse(const std::string& text, const std::string& name);
    static Result<SimScript, std::string> load(const std::string& path);
};

}  // namespace corvane::sim
