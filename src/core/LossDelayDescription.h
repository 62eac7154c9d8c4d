// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A signal-loss delay in words for alert texts: "45 seconds", "1 minute",
// "2 minutes", "1 hour", "3 days". Only exactly 60, 3600 and 86400 seconds
// take the singular, so 90 seconds reads "1 minutes".
#include <string>

namespace corvane {

std::string lossDelayDescription(double seconds);

}  // namespace corvane
