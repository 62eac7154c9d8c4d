// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/BluetoothLastSeenMap.h"

#include <QLabel>
#include <QVBoxLayout>

#include "ui/MeshtasticMapPane.h"
#include "ui/map/MapView.h"

namespace corvane {
namespace {

// About 500 m across: the street around the spot, the scale a reception's
// location is good for.
constexpr double kSpanDegrees = 0.005;

}  // namespace

BluetoothLastSeenMap::BluetoothLastSeenMap(const MapTileSource& tiles, QWidget* parent)
    : QWidget(parent), map_(new MapView) {
    setObjectName(QStringLiteral("bluetoothLastSeenMap"));
    map_->setObjectName(QStringLiteral("bluetoothLastSeenMapView"));
    map_->setAccessibleName(QStringLiteral("Last seen with this Mac"));
    map_->setMinimumHeight(220);
    tiles.applyTo(*map_);
    auto* caption = new QLabel(QStringLiteral("Last seen with this Mac"));
    QFont bold = caption->font();
    bold.setBold(true);
    caption->setFont(bold);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(caption);
    layout->addWidget(map_, 1);
}

void BluetoothLastSeenMap::show(const QString& deviceName, const GeoCoordinate& coordinate) {
    map_->setMarkers({{QStringLiteral("last-seen"), coordinate, QStringLiteral("location.fill"), deviceName, true}});
    if (centred_ && centred_->latitude == coordinate.latitude && centred_->longitude == coordinate.longitude) return;
    centred_ = coordinate;
    map_->setRegion({coordinate, kSpanDegrees, kSpanDegrees});
}

}  // namespace corvane
