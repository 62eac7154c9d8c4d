// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Sets up the environment of `corvane --demo`: a fresh temporary folder for
// data and settings (the user's own files are never touched), a device folder
// holding one fake radio entry, and the bridge stand-in in demo mode as the
// bridge. The folder is removed when the object goes away.
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "core/Result.h"

class QTemporaryDir;

namespace corvane {

class DemoEnvironment {
public:
    // The simulated bicycle that rides away.
    static constexpr std::uint32_t kBikeNode = 0x0B1CE5A1;

    // `programFolder` holds corvane and corvane-bridge-sim.
    static Result<std::unique_ptr<DemoEnvironment>, std::string> create(const std::string& programFolder);
    // For a --demo run: create() beside this program, the folder also
    // removed on a fast exit; absent, after saying why on standard error,
    // when it could not be made.
    static std::optional<std::unique_ptr<DemoEnvironment>> startForThisRun();
    // Whole seconds from $CORVANE_DEMO_SECONDS, after which the demo ends
    // itself; absent when unset or not a positive number.
    static std::optional<std::chrono::seconds> duration();
    ~DemoEnvironment();

    const std::string& folder() const { return folder_; }

private:
    DemoEnvironment() = default;

    std::unique_ptr<QTemporaryDir> directory_;
    std::string folder_;
};

}  // namespace corvane
