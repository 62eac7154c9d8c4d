// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How the windows write instants, in the user's locale and time zone.
#include <QString>

#include "core/DateTime.h"

namespace corvane::DateText {

// The date with the month abbreviated and the time without seconds, in the
// locale's order: "7 Dec 2026, 09:41", "Dec 7, 2026, 9:41 AM".
QString abbreviated(Timestamp instant);
// The time of day with seconds, "09:41:07", preceded by the abbreviated
// date when the instant is not on the same local day as `now`: a device last
// heard yesterday at 09:41 was not heard this morning.
QString timeOfDay(Timestamp instant, Timestamp now);

}  // namespace corvane::DateText
