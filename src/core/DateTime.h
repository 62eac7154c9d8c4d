// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Wall-clock instants and their two stored forms: ISO 8601 internet date-time
// text (bridge lines, positions and messages files) and seconds since
// 2001-01-01 00:00 UTC (device files and the marked position). Every
// conversion to or from the 2001 reference date lives here.
#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace corvane {

using Timestamp = std::chrono::system_clock::time_point;

// UTC with whole seconds and "Z", e.g. 2026-03-01T09:30:00Z. Sub-second parts
// are dropped (floored), as the stored form carries whole seconds only.
std::string formatIso8601(Timestamp instant);

// Accepts date "T" time with whole or fractional seconds, then "Z" or a
// numeric offset (+HH:MM, +HHMM, +HH). Anything else is refused.
std::optional<Timestamp> parseIso8601(std::string_view text);

double secondsSinceReferenceDate(Timestamp instant);
// Absent for values that are not finite or lie beyond what a time point holds.
std::optional<Timestamp> fromSecondsSinceReferenceDate(double seconds);

// Seconds since 1970-01-01 UTC, fraction included: notification
// identifiers carry the time in this form.
double unixSeconds(Timestamp instant);

// The local hour and minute ("14:05"), as delivery statuses show the time
// of the last alert sent.
std::string shortTime(Timestamp instant);

// Seconds from a to b as a 64-bit float (negative when b lies before a).
double secondsBetween(Timestamp a, Timestamp b);

}  // namespace corvane
