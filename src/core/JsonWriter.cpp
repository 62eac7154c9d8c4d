// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/JsonWriter.h"

#include <charconv>
#include <cmath>

#include <simdjson.h>

namespace corvane {

JsonWriter::JsonWriter(Style style, int depth) : style_(style), depth_(depth) {}

void JsonWriter::newline() {
    out_.push_back('\n');
    out_.append(static_cast<std::size_t>(depth_) * 2, ' ');
}

void JsonWriter::beforeValue() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (hasMembers_.empty()) return;
    if (hasMembers_.back()) out_.push_back(',');
    hasMembers_.back() = true;
    if (style_ == Style::pretty) newline();
}

void JsonWriter::beginObject() {
    beforeValue();
    out_.push_back('{');
    hasMembers_.push_back(false);
    ++depth_;
}

void JsonWriter::endObject() {
    --depth_;
    const bool any = hasMembers_.back();
    hasMembers_.pop_back();
    if (any && style_ == Style::pretty) newline();
    out_.push_back('}');
}

void JsonWriter::beginArray() {
    beforeValue();
    out_.push_back('[');
    hasMembers_.push_back(false);
    ++depth_;
}

void JsonWriter::endArray() { endObject(); out_.back() = ']'; }

void JsonWriter::key(std::string_view name) {
    string(name);
    out_.append(style_ == Style::pretty ? " : " : ":");
    afterKey_ = true;
}

void JsonWriter::string(std::string_view value) {
    beforeValue();
    if (!simdjson::validate_utf8(value.data(), value.size())) failed_ = true;
    static constexpr char kHex[] = "0123456789abcdef";
    out_.push_back('"');
    // Runs of plain characters go out in one append: a store rewrite encodes
    // every record's keys and texts, tens of thousands of strings.
    std::size_t plainFrom = 0;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const auto c = static_cast<unsigned char>(value[i]);
        if (c >= 0x20 && c != '"' && c != '\\' && c != '/') continue;
        out_.append(value.data() + plainFrom, i - plainFrom);
        plainFrom = i + 1;
        switch (c) {
        case '"': out_.append("\\\""); break;
        case '\\': out_.append("\\\\"); break;
        case '/': out_.append("\\/"); break;
        case '\b': out_.append("\\b"); break;
        case '\f': out_.append("\\f"); break;
        case '\n': out_.append("\\n"); break;
        case '\r': out_.append("\\r"); break;
        case '\t': out_.append("\\t"); break;
        default:
            out_.append("\\u00");
            out_.push_back(kHex[c >> 4]);
            out_.push_back(kHex[c & 0x0F]);
        }
    }
    out_.append(value.data() + plainFrom, value.size() - plainFrom);
    out_.push_back('"');
}

void JsonWriter::unsignedInteger(std::uint64_t value) {
    beforeValue();
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out_.append(buffer, result.ptr);
}

void JsonWriter::integer(std::int64_t value) {
    beforeValue();
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out_.append(buffer, result.ptr);
}

void JsonWriter::boolean(bool value) {
    beforeValue();
    out_.append(value ? "true" : "false");
}

template <typename Float>
void JsonWriter::finiteNumber(Float value) {
    beforeValue();
    if (!std::isfinite(value)) {
        failed_ = true;
        out_.push_back('0');
        return;
    }
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out_.append(buffer, result.ptr);
    // "-0" reads back as the integer 0; "-0.0" keeps the sign.
    if (value == 0 && std::signbit(value)) out_.append(".0");
}

void JsonWriter::number(double value) { finiteNumber(value); }
void JsonWriter::number(float value) { finiteNumber(value); }

void JsonWriter::raw(std::string_view encoded) {
    beforeValue();
    out_.append(encoded);
}

}  // namespace corvane
