#include "core/JsonRead.h"

#include <cmath>
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
    if (std::fabs(value) > static_cast<double>(std::numeric_limits<float>::max())) return false;
    out = static_cast<float>(value);
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
