// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/MeshtasticSerialPort.h"

#include <array>

namespace corvane::MeshtasticSerialPort {

namespace {

constexpr std::array<std::string_view, 6> kDeviceNamePrefixes{
    "cu.usbmodem", "cu.usbserial", "cu.SLAB_USB", "cu.wchusbserial", "ttyACM", "ttyUSB"};

}  // namespace

bool isSupportedDeviceName(std::string_view name) {
    for (const auto prefix : kDeviceNamePrefixes) {
        if (name.starts_with(prefix)) return true;
    }
    return false;
}

}  // namespace corvane::MeshtasticSerialPort
