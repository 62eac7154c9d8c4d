// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Which entries of the device folder may be a Meshtastic radio on USB: the
// macOS serial names and the Linux CDC-ACM and USB-serial names. Stateless;
// usable from any thread.
#include <string_view>

namespace corvane::MeshtasticSerialPort {

// `name` is a bare entry name ("ttyACM0", not "/dev/ttyACM0"). A plain,
// case-sensitive prefix test.
bool isSupportedDeviceName(std::string_view name);

}  // namespace corvane::MeshtasticSerialPort
