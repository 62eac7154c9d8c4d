// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Runs an automation script synchronously and says how it went. The only
// script the application runs sends an iMessage through the Messages app.
// Called on the loop thread; it blocks for as long as the script runs, so
// implementations bound that time. Fakes record the script text.
#include <optional>
#include <string>

namespace corvane {

struct ScriptOutcome {
    enum class Kind { ran, notCreated, failed };

    Kind kind = Kind::ran;
    // For `failed`: the scripting system's message, when it gave one.
    std::optional<std::string> errorMessage;
};

class ScriptRunner {
public:
    virtual ~ScriptRunner() = default;
    virtual ScriptOutcome run(const std::string& script) = 0;
};

}  // namespace corvane
