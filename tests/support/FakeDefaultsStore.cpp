// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/FakeDefaultsStore.h"

namespace corvane {

void FakeDefaultsStore::set(std::string_view key, Value value) {
    values.insert_or_assign(std::string(key), std::move(value));
    ++writes_[std::string(key)];
}

void FakeDefaultsStore::remove(std::string_view key) {
    if (const auto it = values.find(key); it != values.end()) values.erase(it);
    ++writes_[std::string(key)];
}

int FakeDefaultsStore::writes(std::string_view key) const {
    const auto it = writes_.find(key);
    return it == writes_.end() ? 0 : it->second;
}

}  // namespace corvane
