#include "core/Uuid.h"

#include <cstring>
#include <random>

namespace corvane {
namespace {

constexpr std::array<std::size_t, 4> kHyphens{8, 13, 18, 23};

// A table rather than range tests: on random hex digits the tests mispredict,
// and parsing identifiers is the largest cost of loading the stores.
constexpr std::array<std::int8_t, 256> kHexValues = [] {
    std::array<std::int8_t, 256> table{};
    table.fill(-1);
    for (std::int8_t i = 0; i < 10; ++i) table[static_cast<std::size_t>('0' + i)] = i;
    for (std::int8_t i = 0; i < 6; ++i) {
        table[static_cast<std::size_t>('a' + i)] = static_cast<std::int8_t>(10 + i);
        table[static_cast<std::size_t>('A' + i)] = static_cast<std::int8_t>(10 + i);
    }
    return table;
}();

int hexValue(char c) { return kHexValues[static_cast<unsigned char>(c)]; }

}  // namespace

Uuid Uuid::random() {
    // random_device reads the kernel's entropy pool on Linux; one engine per
    // thread keeps generation cheap for the bridge's per-request identifiers.
    thread_local std::mt19937_64 engine{[] {
        std::random_device device;
        std::seed_seq seed{device(), device(), device(), device(), device(), device(), device(), device()};
        return std::mt19937_64{seed};
    }()};
    Uuid uuid;
    const std::uint64_t high = engine();
    const std::uint64_t low = engine();
    std::memcpy(uuid.bytes.data(), &high, 8);
    std::memcpy(uuid.bytes.data() + 8, &low, 8);
    uuid.bytes[6] = static_cast<std::uint8_t>((uuid.bytes[6] & 0x0F) | 0x40);
    uuid.bytes[8] = static_cast<std::uint8_t>((uuid.bytes[8] & 0x3F) | 0x80);
    return uuid;
}

std::optional<Uuid> Uuid::parse(std::string_view text) {
    if (text.size() != 36) return std::nullopt;
    for (std::size_t position : kHyphens) {
        if (text[position] != '-') return std::nullopt;
    }
    Uuid uuid;
    std::size_t byte = 0;
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] == '-') {
            ++i;
            continue;
        }
        const int high = hexValue(text[i]);
        const int low = hexValue(text[i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        uuid.bytes[byte++] = static_cast<std::uint8_t>(high * 16 + low);
        i += 2;
    }
    return uuid;
}

std::string Uuid::string() const {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(36);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) text.push_back('-');
        text.push_back(kDigits[bytes[i] >> 4]);
        text.push_back(kDigits[bytes[i] & 0x0F]);
    }
    return text;
}

std::size_t UuidHash::operator()(const Uuid& uuid) const noexcept {
    std::uint64_t high = 0;
    std::uint64_t low = 0;
    std::memcpy(&high, uuid.bytes.data(), 8);
    std::memcpy(&low, uuid.bytes.data() + 8, 8);
    return static_cast<std::size_t>(high ^ (low * 0x9E3779B97F4A7C15ULL));
}

}  // namespace corvane
