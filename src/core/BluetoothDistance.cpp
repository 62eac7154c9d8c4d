// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/BluetoothDistance.h"

#include <cmath>

namespace corvane {

double bluetoothDistanceMetres(double rssi) {
    const double metres = std::pow(10.0, (kBluetoothPowerAtOneMetre - rssi) / (10.0 * kBluetoothPathLossExponent));
    return std::round(metres * 10.0) / 10.0;
}

}  // namespace corvane
