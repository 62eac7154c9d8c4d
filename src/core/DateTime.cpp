// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/DateTime.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>

namespace corvane {
namespace {

using std::chrono::duration_cast;
using std::chrono::microseconds;
using std::chrono::seconds;
using std::chrono::system_clock;

constexpr std::int64_t kReferenceDateUnixSeconds = 978307200;  // 2001-01-01T00:00:00Z

// Howard Hinnant's civil-date algorithms: exact for the proleptic Gregorian
// calendar, no time zone database needed.
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3U : 9U)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

struct Civil {
    std::int64_t year;
    unsigned month;
    unsigned day;
};

Civil civilFromDays(std::int64_t z) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    return {y + (m <= 2), m, d};
}

bool isLeap(std::int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

unsigned daysInMonth(std::int64_t y, unsigned m) {
    static constexpr std::array<unsigned, 12> kDays{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeap(y) ? 29 : kDays[m - 1];
}

class Cursor {
public:
    explicit Cursor(std::string_view text) : text_(text) {}
    bool digits(std::size_t count, int& out) {
        if (pos_ + count > text_.size()) return false;
        int value = 0;
        for (std::size_t i = 0; i < count; ++i) {
            const char c = text_[pos_ + i];
            if (c < '0' || c > '9') return false;
            value = value * 10 + (c - '0');
        }
        pos_ += count;
        out = value;
        return true;
    }
    bool literal(char c) {
        if (pos_ < text_.size() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }
    bool peekDigit() const { return pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9'; }
    bool atEnd() const { return pos_ == text_.size(); }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

}  // namespace

std::string formatIso8601(Timestamp instant) {
    const auto total = std::chrono::floor<seconds>(instant.time_since_epoch()).count();
    std::int64_t days = total / 86400;
    std::int64_t secondsOfDay = total % 86400;
    if (secondsOfDay < 0) {
        secondsOfDay += 86400;
        days -= 1;
    }
    const Civil civil = civilFromDays(days);
    if (civil.year >= 0 && civil.year <= 9999) {
        // Digits by hand: a store rewrite formats one time per record, and
        // snprintf's format parsing was most of that.
        std::string text = "0000-00-00T00:00:00Z";
        const auto put = [&text](std::size_t at, std::size_t width, std::int64_t value) {
            for (std::size_t i = at + width; i-- > at; value /= 10) text[i] = static_cast<char>('0' + value % 10);
        };
        put(0, 4, civil.year);
        put(5, 2, civil.month);
        put(8, 2, civil.day);
        put(11, 2, secondsOfDay / 3600);
        put(14, 2, secondsOfDay / 60 % 60);
        put(17, 2, secondsOfDay % 60);
        return text;
    }
    std::array<char, 48> buffer{};
    std::snprintf(buffer.data(), buffer.size(), "%04lld-%02u-%02uT%02lld:%02lld:%02lldZ",
                  static_cast<long long>(civil.year), civil.month, civil.day,
                  static_cast<long long>(secondsOfDay / 3600), static_cast<long long>(secondsOfDay / 60 % 60),
                  static_cast<long long>(secondsOfDay % 60));
    return buffer.data();
}

std::optional<Timestamp> parseIso8601(std::string_view text) {
    Cursor cursor(text);
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!cursor.digits(4, year) || !cursor.literal('-') || !cursor.digits(2, month) || !cursor.literal('-') ||
        !cursor.digits(2, day) || !cursor.literal('T') || !cursor.digits(2, hour) || !cursor.literal(':') ||
        !cursor.digits(2, minute) || !cursor.literal(':') || !cursor.digits(2, second)) {
        return std::nullopt;
    }
    if (month < 1 || month > 12 || day < 1 || static_cast<unsigned>(day) > daysInMonth(year, static_cast<unsigned>(month)) ||
        hour > 23 || minute > 59 || second > 59) {
        return std::nullopt;
    }
    std::int64_t micros = 0;
    if (cursor.literal('.')) {
        if (!cursor.peekDigit()) return std::nullopt;
        std::int64_t scale = 100000;
        int digit = 0;
        while (cursor.peekDigit()) {
            cursor.digits(1, digit);
            micros += digit * scale;
            scale /= 10;
        }
    }
    int offsetSeconds = 0;
    if (!cursor.literal('Z')) {
        int sign = 0;
        if (cursor.literal('+')) sign = 1;
        else if (cursor.literal('-')) sign = -1;
        else return std::nullopt;
        int offsetHours = 0, offsetMinutes = 0;
        if (!cursor.digits(2, offsetHours)) return std::nullopt;
        if (cursor.literal(':')) {
            if (!cursor.digits(2, offsetMinutes)) return std::nullopt;
        } else if (cursor.peekDigit() && !cursor.digits(2, offsetMinutes)) {
            return std::nullopt;
        }
        if (offsetHours > 23 || offsetMinutes > 59) return std::nullopt;
        offsetSeconds = sign * (offsetHours * 3600 + offsetMinutes * 60);
    }
    if (!cursor.atEnd()) return std::nullopt;
    const std::int64_t unixSeconds = daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86400 +
                                     hour * 3600 + minute * 60 + second - offsetSeconds;
    // A time point counts nanoseconds: about 1678 to 2262. Years outside that
    // would overflow the conversion below.
    constexpr std::int64_t kLimit = duration_cast<seconds>(system_clock::duration::max()).count() - 1;
    if (unixSeconds < -kLimit || unixSeconds > kLimit) return std::nullopt;
    return Timestamp{duration_cast<system_clock::duration>(seconds{unixSeconds} + microseconds{micros})};
}

double secondsSinceReferenceDate(Timestamp instant) {
    const auto unixMicros = duration_cast<microseconds>(instant.time_since_epoch()).count();
    return static_cast<double>(unixMicros - kReferenceDateUnixSeconds * 1'000'000) / 1e6;
}

std::optional<Timestamp> fromSecondsSinceReferenceDate(double secondsValue) {
    // ±8e9 s is about ±250 years around 2001: beyond any real date, and inside
    // the nanosecond count of a time point once the 2001 offset is added.
    if (!std::isfinite(secondsValue) || std::fabs(secondsValue) > 8e9) return std::nullopt;
    const auto micros = static_cast<std::int64_t>(std::llround(secondsValue * 1e6));
    return Timestamp{duration_cast<system_clock::duration>(microseconds{micros + kReferenceDateUnixSeconds * 1'000'000})};
}

// Whole seconds and the fraction are converted apart: a nanosecond count is
// too large for a double to hold exactly, and .25 s must read as .25.
double unixSeconds(Timestamp instant) {
    const auto since = instant.time_since_epoch();
    const auto whole = std::chrono::floor<std::chrono::seconds>(since);
    return static_cast<double>(whole.count()) + std::chrono::duration<double>(since - whole).count();
}

std::string shortTime(Timestamp instant) {
    const std::time_t seconds = system_clock::to_time_t(instant);
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[16];
    std::strftime(text, sizeof text, "%H:%M", &local);
    return text;
}

double secondsBetween(Timestamp a, Timestamp b) {
    return std::chrono::duration<double>(b - a).count();
}

}  // namespace corvane
