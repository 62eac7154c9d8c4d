// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The user's small settings as one JSON object file, by default
// $XDG_CONFIG_HOME/Corvane/defaults.json (else ~/.config/Corvane/...). Numbers,
// booleans and texts are JSON values; data is a JSON string holding base64.
//
// Owned by the application's wiring; loop thread only. Reads come from memory.
// Changes are written once per loop turn, however many arrive in it (a slider
// dragging the radius costs one write per turn, not one per step), and
// whatever is still unwritten is written when the store is destroyed. A file
// that is not a JSON object reads as empty and is kept aside as
// NAME.corrupt-<unix seconds> before it is first replaced.
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "app/CoalescedTask.h"
#include "app/ports/DefaultsStore.h"
#include "app/ports/EventLoop.h"

namespace corvane {

class FileDefaultsStore final : public DefaultsStore {
public:
    FileDefaultsStore(EventLoop& loop, std::string path);
    ~FileDefaultsStore() override;
    FileDefaultsStore(const FileDefaultsStore&) = delete;
    FileDefaultsStore& operator=(const FileDefaultsStore&) = delete;

    static std::optional<std::string> defaultPath();

    std::optional<double> number(std::string_view key) const override;
    std::optional<bool> boolean(std::string_view key) const override;
    std::optional<std::string> string(std::string_view key) const override;
    std::optional<Data> data(std::string_view key) const override;

    void setNumber(std::string_view key, double value) override;
    void setBoolean(std::string_view key, bool value) override;
    void setString(std::string_view key, std::string_view value) override;
    void setData(std::string_view key, const Data& value) override;
    void remove(std::string_view key) override;

    // Writes pending changes now. False when the write failed; the changes
    // stay pending and are tried again with the next change or flush.
    bool flush();

private:
    const nlohmann::json* find(std::string_view key) const;
    void set(std::string_view key, nlohmann::json value);
    void changed();

    EventLoop& loop_;
    std::string path_;
    nlohmann::json values_ = nlohmann::json::object();
    bool keepAsideBeforeWrite_ = false;
    // Temporary files that a crash during a write left are cleared once.
    bool clearedTemporaries_ = false;
    bool dirty_ = false;
    CoalescedTask pendingFlush_;
};

}  // namespace corvane
