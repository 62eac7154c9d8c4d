// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/BluetoothText.h"

#include "app/BluetoothTrackerManager.h"
#include "ui/DateText.h"

namespace corvane::BluetoothText {

QString proximity(const DiscoveredTracker& device) {
    const QString band = QString::fromUtf8(label(device.band).data());
    if (device.trend == BluetoothProximityTrend::steady) return band;
    return band + QStringLiteral(" · ") + QString::fromUtf8(finderLabel(device.trend, device.band).data());
}

QString trendSymbol(const DiscoveredTracker& device) { return QString::fromUtf8(symbolName(device.trend).data()); }

QString time(Timestamp instant, Timestamp now) { return DateText::timeOfDay(instant, now); }

}  // namespace corvane::BluetoothText
