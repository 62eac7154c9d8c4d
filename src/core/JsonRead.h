// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Strict typed reads from a decoded JSON object, shared by every record codec.
// Each function returns false when the record must be refused: a required key
// missing, or any present value of the wrong type or out of range. Optional
// keys that are missing or null leave the output absent and return true.
// Only the codecs' .cpp files include this header (it pulls in simdjson).
#include <cstdint>
#include <optional>
#include <string>

#include <simdjson.h>

#include "core/DateTime.h"
#include "core/Uuid.h"

namespace corvane::json {

using Object = simdjson::dom::object;
using Element = simdjson::dom::element;

// The member under `key`, absent when missing or null.
std::optional<Element> member(const Object& object, std::string_view key);

bool asUInt32(const Element& element, std::uint32_t& out);
bool asInt32(const Element& element, std::int32_t& out);
bool asInt64(const Element& element, std::int64_t& out);
bool asDouble(const Element& element, double& out);
bool asFloat(const Element& element, float& out);
bool asBool(const Element& element, bool& out);
bool asString(const Element& element, std::string& out);
bool asUuid(const Element& element, Uuid& out);
bool asDate(const Element& element, Timestamp& out);
// A number of seconds since 2001-01-01 UTC.
bool asReferenceDate(const Element& element, Timestamp& out);

// Required and optional forms of the above.
template <typename T, typename Reader>
bool required(const Object& object, std::string_view key, T& out, Reader reader) {
    const auto element = member(object, key);
    return element && reader(*element, out);
}

template <typename T, typename Reader>
bool optional(const Object& object, std::string_view key, std::optional<T>& out, Reader reader) {
    const auto element = member(object, key);
    if (!element) {
        out.reset();
        return true;
    }
    T value{};
    if (!reader(*element, value)) return false;
    out = std::move(value);
    return true;
}

// The parser refuses a whole document for one number beyond its range (an
// integer past 64 bits, a float past the largest double), while such a number
// under a key nobody reads must not spoil the record. This gives the text
// with each such number replaced by an empty object, which every reader of a
// known key refuses as it refused the number. Nullopt when there is none.
std::optional<std::string> withoutOutOfRangeNumbers(std::string_view text);

// Parses `text` as one JSON document with a parser reused per thread, and
// hands its root element to `decode`. Undecodable documents give nullopt.
template <typename Decode>
auto parseDocument(std::string_view text, Decode decode) -> decltype(decode(std::declval<Element>())) {
    thread_local simdjson::dom::parser parser;
    Element root;
    auto error = parser.parse(text.data(), text.size(), true).get(root);
    if (error == simdjson::NUMBER_ERROR) {
        if (const auto rewritten = withoutOutOfRangeNumbers(text)) {
            error = parser.parse(rewritten->data(), rewritten->size(), true).get(root);
        }
    }
    if (error != simdjson::SUCCESS) return std::nullopt;
    return decode(root);
}

}  // namespace corvane::json
