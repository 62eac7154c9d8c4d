// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/FileDefaultsStore.h"

#include <cmath>

#include <QByteArray>

#include "core/PrivateFile.h"
#include "core/UserFolders.h"

namespace corvane {

std::optional<std::string> FileDefaultsStore::defaultPath() {
    const auto config = userConfigFolder();
    if (!config) return std::nullopt;
    return *config + "/Corvane/defaults.json";
}

FileDefaultsStore::FileDefaultsStore(EventLoop& loop, std::string path)
    : loop_(loop), path_(std::move(path)), pendingFlush_(loop, [this] { flush(); }) {
    auto bytes = PrivateFile::read(path_);
    if (!bytes) {
        // A file we may not read is not ours to replace either.
        keepAsideBeforeWrite_ = bytes.error().kind == PrivateFile::ReadFailure::unreadable;
        return;
    }
    auto parsed = nlohmann::json::parse(*bytes, nullptr, /*allow_exceptions=*/false);
    if (parsed.is_object()) {
        values_ = std::move(parsed);
    } else {
        keepAsideBeforeWrite_ = true;
    }
}

FileDefaultsStore::~FileDefaultsStore() {
    if (dirty_) flush();
}

const nlohmann::json* FileDefaultsStore::find(std::string_view key) const {
    const auto it = values_.find(key);
    return it == values_.end() ? nullptr : &*it;
}

std::optional<double> FileDefaultsStore::number(std::string_view key) const {
    const auto* value = find(key);
    if (!value || !value->is_number()) return std::nullopt;
    return value->get<double>();
}

std::optional<bool> FileDefaultsStore::boolean(std::string_view key) const {
    const auto* value = find(key);
    if (!value || !value->is_boolean()) return std::nullopt;
    return value->get<bool>();
}

std::optional<std::string> FileDefaultsStore::string(std::string_view key) const {
    const auto* value = find(key);
    if (!value || !value->is_string()) return std::nullopt;
    return value->get<std::string>();
}

std::optional<DefaultsStore::Data> FileDefaultsStore::data(std::string_view key) const {
    const auto* value = find(key);
    if (!value || !value->is_string()) return std::nullopt;
    const auto& text = value->get_ref<const std::string&>();
    const auto decoded = QByteArray::fromBase64Encoding(QByteArray::fromRawData(text.data(), static_cast<qsizetype>(text.size())),
                                                        QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded) return std::nullopt;
    return Data(decoded.decoded.begin(), decoded.decoded.end());
}

void FileDefaultsStore::setNumber(std::string_view key, double value) {
    // Whole numbers (node numbers, mostly) are written without a fraction so
    // the file reads as people expect.
    if (std::isfinite(value) && std::trunc(value) == value && std::fabs(value) < 9007199254740992.0) {
        set(key, static_cast<std::int64_t>(value));
    } else if (std::isfinite(value)) {
        set(key, value);
    }
}

void FileDefaultsStore::setBoolean(std::string_view key, bool value) { set(key, value); }

void FileDefaultsStore::setString(std::string_view key, std::string_view value) { set(key, std::string(value)); }

void FileDefaultsStore::setData(std::string_view key, const Data& value) {
    const QByteArray bytes(reinterpret_cast<const char*>(value.data()), static_cast<qsizetype>(value.size()));
    set(key, bytes.toBase64().toStdString());
}

void FileDefaultsStore::remove(std::string_view key) {
    const auto it = values_.find(key);
    if (it == values_.end()) return;
    values_.erase(it);
    changed();
}

void FileDefaultsStore::set(std::string_view key, nlohmann::json value) {
    auto& slot = values_[std::string(key)];
    if (slot == value) return;
    slot = std::move(value);
    changed();
}

void FileDefaultsStore::changed() {
    dirty_ = true;
    pendingFlush_.request();
}

bool FileDefaultsStore::flush() {
    if (!dirty_) return true;
    if (!clearedTemporaries_) {
        PrivateFile::removeStaleTemporaries(path_);
        clearedTemporaries_ = true;
    }
    if (keepAsideBeforeWrite_) {
        if (PrivateFile::identity(path_) && !PrivateFile::keepAside(path_, loop_.now())) return false;
        keepAsideBeforeWrite_ = false;
    }
    // Invalid UTF-8 cannot reach here through the setters' callers, but a
    // replacement character is better than losing every other setting.
    const std::string text = values_.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    if (!PrivateFile::writeIfChanged(path_, text)) return false;
    dirty_ = false;
    return true;
}

}  // namespace corvane
