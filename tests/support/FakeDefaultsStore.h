// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A DefaultsStore kept in a map, for unit tests. Each key holds one typed
// value, and a read of another type is missing, as the port promises; so a
// test can seed a key with a value of the wrong type through the setter of
// that type. Writes are counted per key so a test can tell "written back"
// from "left alone". Single-threaded.
#include <map>
#include <string>
#include <variant>

#include "app/ports/DefaultsStore.h"

namespace corvane {

class FakeDefaultsStore final : public DefaultsStore {
public:
    using Value = std::variant<double, bool, std::string, Data>;

    std::optional<double> number(std::string_view key) const override { return get<double>(key); }
    std::optional<bool> boolean(std::string_view key) const override { return get<bool>(key); }
    std::optional<std::string> string(std::string_view key) const override { return get<std::string>(key); }
    std::optional<Data> data(std::string_view key) const override { return get<Data>(key); }

    void setNumber(std::string_view key, double value) override { set(key, value); }
    void setBoolean(std::string_view key, bool value) override { set(key, value); }
    void setString(std::string_view key, std::string_view value) override { set(key, std::string(value)); }
    void setData(std::string_view key, const Data& value) override { set(key, value); }
    void remove(std::string_view key) override;

    bool contains(std::string_view key) const { return values.find(key) != values.end(); }
    // Sets and removals of `key` so far.
    int writes(std::string_view key) const;

    std::map<std::string, Value, std::less<>> values;

private:
    template <typename T>
    std::optional<T> get(std::string_view key) const {
        const auto it = values.find(key);
        if (it == values.end()) return std::nullopt;
        if (const T* held = std::get_if<T>(&it->second)) return *held;
        return std::nullopt;
    }
    void set(std::string_view key, Value value);

    std::map<std::string, int, std::less<>> writes_;
};

}  // namespace corvane
