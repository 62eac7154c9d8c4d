// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/DesktopPlatform.h"

#include <unistd.h>

#include <cstdio>
#include <memory>

#include "platform/QProcessBridgeProcess.h"

namespace corvane {

std::optional<DesktopPlatform::Folders> DesktopPlatform::userFolders() {
    auto data = CorvaneModel::defaultDataFolder();
    auto devices = LocalNetworkBrowser::defaultDataFolder();
    auto defaultsFile = FileDefaultsStore::defaultPath();
    if (!data || !devices || !defaultsFile) {
        std::fprintf(stderr, "corvane: no home folder to keep data in; set HOME (or XDG_DATA_HOME and XDG_CONFIG_HOME)\n");
        return std::nullopt;
    }
    return Folders{std::move(*data), std::move(*devices), std::move(*defaultsFile)};
}

std::string DesktopPlatform::hostName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "corvane";
    return name;
}

std::string DesktopPlatform::homeAssistantPasswordFile() const {
    const auto slash = folders.defaultsFile.rfind('/');
    return folders.defaultsFile.substr(0, slash == std::string::npos ? 0 : slash + 1) + "home-assistant-password.json";
}

DesktopPlatform::DesktopPlatform(Folders found) : folders(std::move(found)), defaults(loop, folders.defaultsFile) {}

CorvaneModel::Dependencies DesktopPlatform::modelDependencies(NotificationCenter& notificationCenter) {
    return {.loop = loop,
            .defaults = defaults,
            .notifications = notificationCenter,
            .serviceBrowser = serviceBrowser,
            .makeProcess = [] { return std::make_unique<QProcessBridgeProcess>(); },
            .dataFolder = folders.data,
            .deviceFolder = folders.devices,
            .deviceWatcher = &deviceWatcher,
            .bluetooth = {bluetoothCentral, location, wake, sound, scripts, folders.devices},
            .phone = &phone};
}

}  // namespace corvane
