// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The DeviceFolderWatcher adapter on QFileSystemWatcher (inotify): a device
// node created or removed in the folder reports a change. Loop thread only;
// the watch exists only between start() and stop(), so /dev is not watched
// while a radio is connected.
#include <QFileSystemWatcher>

#include "app/ports/DeviceFolderWatcher.h"

namespace corvane {

class QtDeviceFolderWatcher final : public DeviceFolderWatcher {
public:
    QtDeviceFolderWatcher();
    ~QtDeviceFolderWatcher() override;

    void start(const std::string& folder, std::function<void()> onChange) override;
    void stop() override;

private:
    QFileSystemWatcher watcher_;
    std::function<void()> onChange_;
};

}  // namespace corvane
