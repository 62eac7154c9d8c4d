// SPDX-License-Identifier: GPL-3.0-or-later
#include "SimScript.h"

#include <charconv>
#include <cstdint>
#include <fstream>
#include <optional>
#include <sstream>
#include <string_view>

#include "ParseNumber.h"

namespace corvane::sim {
namespace {

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

}  // namespace

Result<SimScript, std::string> SimScript::parse(const std::string& text, const std::string& name) {
    SimScript script;
    std::istringstream stream(text);
    std::string rawLine;
    for (std::size_t number = 1; std::getline(stream, rawLine); ++number) {
        const auto line = trimmed(rawLine);
        if (line.empty() || line.front() == '#') continue;
        if (line.front() == '{') {
            script.steps.emplace_back(Line{std::string(line)});
            continue;
        }
        const auto space = line.find(' ');
        const auto word = line.substr(0, space);
        const auto argument = space == std::string_view::npos ? std::string_view() : trimmed(line.substr(space + 1));
        const auto where = name + ":" + std::to_string(number) + ": ";
        if (word == "raw") {
            script.steps.emplace_back(Line{std::string(argument)});
        } else if (word == "sleep") {
            const auto ms = parseNumber<std::uint32_t>(argument);
            if (!ms) return fail(where + "sleep needs milliseconds");
            script.steps.emplace_back(Sleep{std::chrono::milliseconds(*ms)});
        } else if (word == "exit") {
            const auto status = parseNumber<int>(argument);
            if (!status || *status < 0 || *status > 255) return fail(where + "exit needs a status from 0 to 255");
            script.steps.emplace_back(Exit{*status});
        } else if (word == "stderr") {
            const auto bytes = parseNumber<std::size_t>(argument);
            if (!bytes) return fail(where + "stderr needs a byte count");
            script.steps.emplace_back(Stderr{*bytes});
        } else {
            return fail(where + "expected a JSON object or raw, sleep, exit, stderr");
        }
    }
    return script;
}

Result<SimScript, std::string> SimScript::load(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return fail("cannot read script " + path);
    std::ostringstream content;
    content << file.rdbuf();
    return parse(content.str(), path);
}

}  // namespace corvane::sim
