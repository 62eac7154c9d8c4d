// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/QtDeviceFolderWatcher.h"

#include <QString>

namespace corvane {

QtDeviceFolderWatcher::QtDeviceFolderWatcher() {
    QObject::connect(&watcher_, &QFileSystemWatcher::directoryChanged, &watcher_, [this] {
        if (auto onChange = onChange_) onChange();
    });
}

QtDeviceFolderWatcher::~QtDeviceFolderWatcher() = default;

void QtDeviceFolderWatcher::start(const std::string& folder, std::function<void()> onChange) {
    stop();
    onChange_ = std::move(onChange);
    watcher_.addPath(QString::fromStdString(folder));
}

void QtDeviceFolderWatcher::stop() {
    onChange_ = nullptr;
    if (const auto folders = watcher_.directories(); !folders.isEmpty()) watcher_.removePaths(folders);
}

}  // namespace corvane
