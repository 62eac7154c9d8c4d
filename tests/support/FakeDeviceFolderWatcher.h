// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A DeviceFolderWatcher the test drives: it records what is watched, and
// change() plays the folder changing (only while watching, as the real one).
#include <functional>
#include <optional>
#include <string>

#include "app/ports/DeviceFolderWatcher.h"

namespace corvane {

class FakeDeviceFolderWatcher final : public DeviceFolderWatcher {
public:
    void start(const std::string& folder, std::function<void()> onChange) override {
        watched = folder;
        onChange_ = std::move(onChange);
    }
    void stop() override {
        watched.reset();
        onChange_ = nullptr;
    }
    void change() {
        if (auto onChange = onChange_) onChange();
    }

    std::optional<std::string> watched;

private:
    std::function<void()> onChange_;
};

}  // namespace corvane
