// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/FakeScriptRunner.h"

namespace corvane {

ScriptOutcome FakeScriptRunner::run(const std::string& script) {
    scripts.push_back(script);
    return outcome;
}

}  // namespace corvane
