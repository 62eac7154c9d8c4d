// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/Uuid.h"

#include <array>
#include <cerrno>
#include <cstring>

#include <pthread.h>
#include <sys/random.h>

#include <uuid/uuid.h>

namespace corvane {

static_assert(sizeof(uuid_t) == sizeof(Uuid::bytes));

namespace {

// The kernel's generator, fetched a page at a time. libuuid asks it for every
// identifier and re-seeds its own fallback generator each time (five system
// calls an identifier), which cost translating a radio's node database most of
// its time.
struct RandomPool {
    std::array<std::uint8_t, 4096> bytes{};
    std::size_t used = bytes.size();

    bool refill() {
        std::size_t filled = 0;
        while (filled < bytes.size()) {
            const ssize_t count = ::getrandom(bytes.data() + filled, bytes.size() - filled, 0);
            if (count < 0 && errno == EINTR) continue;
            if (count <= 0) return false;
            filled += static_cast<std::size_t>(count);
        }
        used = 0;
        return true;
    }
};

thread_local RandomPool pool;

// A forked child must not hand out the identifiers its parent is about to.
void discardPoolInChild() { pool.used = pool.bytes.size(); }
[[maybe_unused]] const bool kForkHandlerInstalled = ::pthread_atfork(nullptr, nullptr, discardPoolInChild) == 0;

}  // namespace

Uuid Uuid::random() {
    Uuid uuid;
    if (pool.used == pool.bytes.size() && !pool.refill()) {
        uuid_generate_random(uuid.bytes.data());
        return uuid;
    }
    std::memcpy(uuid.bytes.data(), pool.bytes.data() + pool.used, uuid.bytes.size());
    pool.used += uuid.bytes.size();
    uuid.bytes[6] = static_cast<std::uint8_t>((uuid.bytes[6] & 0x0F) | 0x40);  // version 4
    uuid.bytes[8] = static_cast<std::uint8_t>((uuid.bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
    return uuid;
}

namespace {

// Value of each byte as a hex digit, or -1. A table keeps the hot loop free of
// branches on character classes and of the C library's locale lookups; store
// loading parses one UUID per record, tens of thousands at start-up.
constexpr std::array<std::int8_t, 256> kHexValue = [] {
    std::array<std::int8_t, 256> table{};
    table.fill(-1);
    for (int i = 0; i < 10; ++i) table[static_cast<std::size_t>('0' + i)] = static_cast<std::int8_t>(i);
    for (int i = 0; i < 6; ++i) {
        table[static_cast<std::size_t>('a' + i)] = static_cast<std::int8_t>(10 + i);
        table[static_cast<std::size_t>('A' + i)] = static_cast<std::int8_t>(10 + i);
    }
    return table;
}();

// Offset of the first digit of each byte's pair in the canonical text.
constexpr std::array<std::uint8_t, 16> kPairOffset = {0,  2,  4,  6,  9,  11, 14, 16,
                                                      19, 21, 24, 26, 28, 30, 32, 34};

}  // namespace

std::optional<Uuid> Uuid::parse(std::string_view text) {
    // Every index below is under 36 and the length is checked first, so no
    // input, however it ends, is read beyond its view.
    constexpr std::size_t kLength = 36;
    if (text.size() != kLength) return std::nullopt;
    if (text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-') return std::nullopt;
    Uuid uuid;
    int invalid = 0;
    for (std::size_t i = 0; i < uuid.bytes.size(); ++i) {
        const int high = kHexValue[static_cast<unsigned char>(text[kPairOffset[i]])];
        const int low = kHexValue[static_cast<unsigned char>(text[kPairOffset[i] + 1])];
        invalid |= high | low;
        uuid.bytes[i] = static_cast<std::uint8_t>((static_cast<unsigned>(high) << 4) | static_cast<unsigned>(low));
    }
    if (invalid < 0) return std::nullopt;
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
