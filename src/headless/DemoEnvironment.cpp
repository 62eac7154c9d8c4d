// SPDX-License-Identifier: GPL-3.0-or-later
#include "headless/DemoEnvironment.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include "core/UserFolders.h"
#include "headless/SignalWatcher.h"

namespace corvane {

DemoEnvironment::~DemoEnvironment() = default;

std::optional<std::chrono::seconds> DemoEnvironment::duration() {
    const std::string text = environmentValue("CORVANE_DEMO_SECONDS");
    int seconds = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size() || seconds <= 0) return std::nullopt;
    return std::chrono::seconds(seconds);
}

std::optional<std::unique_ptr<DemoEnvironment>> DemoEnvironment::startForThisRun() {
    auto created = create(QCoreApplication::applicationDirPath().toStdString());
    if (!created) {
        std::fprintf(stderr, "corvane: %s\n", created.error().c_str());
        return std::nullopt;
    }
    SignalWatcher::removeOnFastExit((*created)->folder());
    return std::move(*created);
}

Result<std::unique_ptr<DemoEnvironment>, std::string> DemoEnvironment::create(const std::string& programFolder) {
    const std::string bridge = programFolder + "/corvane-bridge-sim";
    if (access(bridge.c_str(), X_OK) != 0) return fail("the bridge stand-in was not found at " + bridge);

    std::unique_ptr<DemoEnvironment> environment(new DemoEnvironment());
    environment->directory_ = std::make_unique<QTemporaryDir>(QDir::tempPath() + "/corvane-demo-XXXXXX");
    if (!environment->directory_->isValid()) {
        return fail("could not create a temporary folder: " + environment->directory_->errorString().toStdString());
    }
    environment->folder_ = environment->directory_->path().toStdString();
    const std::string& root = environment->folder_;
    const std::string devices = root + "/dev";
    if (mkdir(devices.c_str(), 0700) != 0) return fail(std::string("could not create the device folder"));
    const int radio = open((devices + "/ttyACM0").c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
    if (radio < 0) return fail(std::string("could not create the fake radio entry"));
    close(radio);

    setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
    setenv("CORVANE_DEVICE_DIR", devices.c_str(), 1);
    setenv("HALVO_MESHTASTIC_BRIDGE_PATH", bridge.c_str(), 1);
    // Options the user gave the stand-in (a --speed, say) still apply.
    const char* extra = std::getenv("CORVANE_BRIDGE_SIM_ARGS");
    setenv("CORVANE_BRIDGE_SIM_ARGS", (std::string("--demo ") + (extra ? extra : "")).c_str(), 1);
    return environment;
}

}  // namespace corvane
