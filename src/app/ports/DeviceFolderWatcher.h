// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Watches the folder where serial devices appear ($CORVANE_DEVICE_DIR, else
// /dev), so the model can connect the moment a radio is plugged in instead
// of waiting for the next retry or for the user. Owned by the front end,
// lent to the model; loop thread only. Contract that adapters and fakes keep:
// - after start(), `onChange` runs from the loop (never inside start()) when
//   entries of `folder` may have been added or removed; spurious calls are
//   allowed, the callee re-reads the folder;
// - start() while watching replaces the folder and callback; stop() ends
//   watching, and no callback runs after it; both may be called any time.
#include <functional>
#include <string>

namespace corvane {

class DeviceFolderWatcher {
public:
    virtual ~DeviceFolderWatcher() = default;

    virtual void start(const std::string& folder, std::function<void()> onChange) = 0;
    virtual void stop() = 0;

protected:
    DeviceFolderWatcher() = default;
    DeviceFolderWatcher(const DeviceFolderWatcher&) = delete;
    DeviceFolderWatcher& operator=(const DeviceFolderWatcher&) = delete;
};

}  // namespace corvane
