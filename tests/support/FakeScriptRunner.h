// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A ScriptRunner for unit tests: records the text of every script it is
// given and answers each with the scripted `outcome` (by default, ran).
// Nothing is executed. Single-threaded.
#include <string>
#include <vector>

#include "app/ports/ScriptRunner.h"

namespace corvane {

class FakeScriptRunner final : public ScriptRunner {
public:
    ScriptOutcome run(const std::string& script) override;

    std::vector<std::string> scripts;
    ScriptOutcome outcome;
};

}  // namespace corvane
