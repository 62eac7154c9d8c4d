// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/DesktopPlatform.h"

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
