#include "core/Uuid.h"

#include <cstring>

#include <uuid/uuid.h>

namespace corvane {

static_assert(sizeof(uuid_t) == sizeof(Uuid::bytes));

Uuid Uuid::random() {
    Uuid uuid;
    uuid_generate_random(uuid.bytes.data());
    return uuid;
}

std::optional<Uuid> Uuid::parse(std::string_view text) {
    // libuuid reads up to a NUL, so it gets a terminated copy of exactly the
    // canonical length and never sees past the text.
    constexpr std::size_t kLength = 36;
    if (text.size() != kLength) return std::nullopt;
    char terminated[kLength + 1];
    std::memcpy(terminated, text.data(), kLength);
    terminated[kLength] = '\0';
    Uuid uuid;
    if (uuid_parse(terminated, uuid.bytes.data()) != 0) return std::nullopt;
    return uuid;
}

std::string Uuid::string() const {
    char text[37];
    uuid_unparse_upper(bytes.data(), text);
    return std::string(text, 36);
}

std::size_t UuidHash::operator()(const Uuid& uuid) const noexcept {
    std::uint64_t high = 0;
    std::uint64_t low = 0;
    std::memcpy(&high, uuid.bytes.data(), 8);
    std::memcpy(&low, uuid.bytes.data() + 8, 8);
    return static_cast<std::size_t>(high ^ (low * 0x9E3779B97F4A7C15ULL));
}

}  // namespace corvane
