// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Runs automation scripts with `osascript` (script on standard input), which
// exists only on macOS; elsewhere every run fails with a text saying so. A run
// is synchronous and bounded in time, as the caller waits for its outcome.
// Loop thread only.
#include <chrono>

#include "app/ports/ScriptRunner.h"

namespace corvane {

class OsascriptScriptRunner final : public ScriptRunner {
public:
    explicit OsascriptScriptRunner(std::chrono::milliseconds limit = std::chrono::seconds(30)) : limit_(limit) {}

    ScriptOutcome run(const std::string& script) override;

private:
    std::chrono::milliseconds limit_;
};

}  // namespace corvane
