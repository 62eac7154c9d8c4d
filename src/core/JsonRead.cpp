// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/JsonRead.h"

#include <cmath>
#include <cstdlib>
#include <limits>

namespace corvane::json {
namespace {

// An integral value from any JSON number form: 5, 5.0 and 5e0 all read as 5,
// while 5.5 and values outside [low, high] are refused.
bool integral(const Element& element, double low, double high, double& out) {
    switch (element.type()) {
    case simdjson::dom::element_type::INT64: out = static_cast<double>(std::int64_t(element)); break;
    case simdjson::dom::element_type::UINT64: out = static_cast<double>(std::uint64_t(element)); break;
    case simdjson::dom::element_type::DOUBLE: out = double(element); break;
    default: return false;
    }
    return std::isfinite(out) && std::floor(out) == out && out >= low && out <= high;
}

}  // namespace

std::optional<std::string> withoutOutOfRangeNumbers(std::string_view text) {
    std::string rewritten;
    std::size_t copied = 0;
    std::size_t i = 0;
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    while (i < text.size()) {
        const char c = text[i];
        if (c == '"') {
            // Skip the string, escapes included; an unterminated one is left
            // for the parser to refuse.
            for (++i; i < text.size() && text[i] != '"'; ++i) {
                if (text[i] == '\\') ++i;
            }
            ++i;
            continue;
        }
        if (c != '-' && !isDigit(c)) {
            ++i;
            continue;
        }
        const std::size_t start = i;
        const std::size_t digitsStart = c == '-' ? i + 1 : i;
        std::size_t end = digitsStart;
        while (end < text.size() && isDigit(text[end])) ++end;
        const std::string_view digits = text.substr(digitsStart, end - digitsStart);
        bool fraction = false;
        while (end < text.size() && (isDigit(text[end]) || text[end] == '.' || text[end] == 'e' || text[end] == 'E' ||
                                     text[end] == '+' || text[end] == '-')) {
            fraction = fraction || !isDigit(text[end]);
            ++end;
        }
        bool outOfRange = false;
        if (fraction) {
            const std::string number(text.substr(start, end - start));
            char* parsedEnd = nullptr;
            const double value = std::strtod(number.c_str(), &parsedEnd);
            outOfRange = parsedEnd == number.c_str() + number.size() && std::isinf(value);
        } else {
            // Past the integers the parser holds: below -2^63, above 2^64 - 1.
            const std::string_view limit = c == '-' ? "9223372036854775808" : "18446744073709551615";
            outOfRange = digits.size() >= limit.size() && digits.front() != '0' &&
                         (digits.size() > limit.size() || digits > limit);
        }
        if (outOfRange) {
            rewritten.append(text.substr(copied, start - copied));
            // A whole number past the integer range (as our own writer prints
            // a large double) still reads where a double is expected.
            if (!fraction && digits.size() <= 308) {
                rewritten.append(text.substr(start, end - start));
                rewritten.append(".0");
            } else {
                rewritten.append("{}");
            }
            copied = end;
        }
        i = end;
    }
    if (copied == 0) return std::nullopt;
    rewritten.append(text.substr(copied));
    return rewritten;
}

std::optional<Element> member(const Object& object, std::string_view key) {
    Element element;
    if (object.at_key(key).get(element) != simdjson::SUCCESS) return std::nullopt;
    if (element.is_null()) return std::nullopt;
    return element;
}

bool asUInt32(const Element& element, std::uint32_t& out) {
    double value = 0;
    if (!integral(element, 0, 4294967295.0, value)) return false;
    out = static_cast<std::uint32_t>(value);
    return true;
}

bool asInt32(const Element& element, std::int32_t& out) {
    double value = 0;
    if (!integral(element, -2147483648.0, 2147483647.0, value)) return false;
    out = static_cast<std::int32_t>(value);
    return true;
}

bool asInt64(const Element& element, std::int64_t& out) {
    if (element.type() == simdjson::dom::element_type::INT64) {
        out = std::int64_t(element);
        return true;
    }
    double value = 0;
    // Below 2^63 in magnitude, so the conversion is exact and defined.
    if (!integral(element, -9223372036854775808.0, 9223372036854774784.0, value)) return false;
    out = static_cast<std::int64_t>(value);
    return true;
}

bool asDouble(const Element& element, double& out) {
    switch (element.type()) {
    case simdjson::dom::element_type::INT64: out = static_cast<double>(std::int64_t(element)); return true;
    case simdjson::dom::element_type::UINT64: out = static_cast<double>(std::uint64_t(element)); return true;
    case simdjson::dom::element_type::DOUBLE: out = double(element); return std::isfinite(out);
    default: return false;
    }
}

bool asFloat(const Element& element, float& out) {
    double value = 0;
    if (!asDouble(element, value)) return false;
    // Rounded to the nearest float, as a float reader of the text would: the
    // shortest text of the largest float ("3.4028235e+38") lies a little above
    // it and must read back. Only what rounds to infinity is refused.
    constexpr double kLargest = std::numeric_limits<float>::max();
    constexpr double kRoundsToInfinity = kLargest + 0x1p103;  // half a unit in the last place above it
    const double magnitude = std::fabs(value);
    if (magnitude >= kRoundsToInfinity) return false;
    out = static_cast<float>(magnitude > kLargest ? std::copysign(kLargest, value) : value);
    return true;
}

bool asBool(const Element& element, bool& out) {
    if (!element.is_bool()) return false;
    out = bool(element);
    return true;
}

bool asString(const Element& element, std::string& out) {
    if (!element.is_string()) return false;
    out = std::string(std::string_view(element));
    return true;
}

bool asUuid(const Element& element, Uuid& out) {
    if (!element.is_string()) return false;
    const auto uuid = Uuid::parse(std::string_view(element));
    if (!uuid) return false;
    out = *uuid;
    return true;
}

bool asReferenceDate(const Element& element, Timestamp& out) {
    double seconds = 0;
    if (!asDouble(element, seconds)) return false;
    const auto instant = fromSecondsSinceReferenceDate(seconds);
    if (!instant) return false;
    out = *instant;
    return true;
}

bool asDate(const Element& element, Timestamp& out) {
    if (!element.is_string()) return false;
    const auto date = parseIso8601(std::string_view(element));
    if (!date) return false;
    out = *date;
    return true;
}

}  // namespace corvane::json
