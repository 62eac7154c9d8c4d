// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Radios reached over the network are named as ports "tcp:HOST" or
// "tcp:HOST:PORT" (an IPv6 address in brackets); the bridge connects to
// them, and no device file stands for them.
#include <string>
#include <string_view>
#include <vector>

#include "core/Result.h"

namespace corvane {

inline constexpr std::string_view kNetworkRadioPrefix = "tcp:";

bool isNetworkRadioPort(std::string_view port);

// The port name for what the user typed: a host name or an IPv4/IPv6
// address, and an optional port number (empty: the radio's usual 4403).
// The error is a sentence for the user.
Result<std::string, std::string> networkRadioPort(std::string_view host, std::string_view port);

// Checks a whole port name "tcp:HOST[:PORT]" ("tcp:[ADDR]:PORT" for IPv6) as
// typed on a command line, and gives it in the form above.
Result<std::string, std::string> parseNetworkRadioPort(std::string_view port);

// The saved list: a JSON array of port names; anything unreadable is empty,
// entries that are not network radio ports are left out.
std::vector<std::string> decodeNetworkRadios(std::string_view text);
std::string encodeNetworkRadios(const std::vector<std::string>& ports);

}  // namespace corvane
