// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/BluetoothText.h"

#include <QDateTime>

#include "app/BluetoothTrackerManager.h"

namespace corvane::BluetoothText {

QString proximity(const DiscoveredTracker& device) {
    return QString::fromUtf8(label(device.band).data()) + QStringLiteral(" · ") +
           QString::fromUtf8(finderLabel(device.trend, device.band).data());
}

QString time(Timestamp instant) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(instant.time_since_epoch()).count();
    return QDateTime::fromSecsSinceEpoch(seconds).toString(QStringLiteral("HH:mm:ss"));
}

}  // namespace corvane::BluetoothText
