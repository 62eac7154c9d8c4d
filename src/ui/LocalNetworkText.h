// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How the windows write a local network device's facts: its kind symbol and
// when it was last seen.
#include <QString>

#include "core/LocalNetworkDevice.h"

namespace corvane::LocalNetworkText {

QString kindSymbol(const LocalNetworkDevice& device);
// The time, or "Not currently seen" for a device never heard.
QString lastSeen(const LocalNetworkDevice& device);

}  // namespace corvane::LocalNetworkText
