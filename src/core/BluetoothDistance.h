// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A rough distance from a smoothed Bluetooth signal strength, by the
// log-distance path-loss model. Advertisers rarely state their calibrated
// power, so one typical value stands for all: -59 dBm at one metre, with an
// indoor exponent of 2.5 (walls and bodies weaken the signal faster than
// open air's 2). Good for "which room", not for metres.
namespace corvane {

inline constexpr double kBluetoothPowerAtOneMetre = -59;
inline constexpr double kBluetoothPathLossExponent = 2.5;

// Metres, to one decimal; NaN for a strength that is not finite.
double bluetoothDistanceMetres(double rssi);

}  // namespace corvane
