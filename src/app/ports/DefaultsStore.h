// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The user's small settings, by key: numbers, booleans, texts and data. A
// value of another type than the one asked for reads as missing. Writes may
// be batched by the implementation but are never lost: what was set is what
// the next read returns, and reaches the disk before the store goes away.
// Loop thread only. Fakes keep a map.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

class DefaultsStore {
public:
    using Data = std::vector<std::uint8_t>;

    virtual ~DefaultsStore() = default;

    virtual std::optional<double> number(std::string_view key) const = 0;
    virtual std::optional<bool> boolean(std::string_view key) const = 0;
    virtual std::optional<std::string> string(std::string_view key) const = 0;
    virtual std::optional<Data> data(std::string_view key) const = 0;

    virtual void setNumber(std::string_view key, double value) = 0;
    virtual void setBoolean(std::string_view key, bool value) = 0;
    virtual void setString(std::string_view key, std::string_view value) = 0;
    virtual void setData(std::string_view key, const Data& value) = 0;
    virtual void remove(std::string_view key) = 0;
};

}  // namespace corvane
