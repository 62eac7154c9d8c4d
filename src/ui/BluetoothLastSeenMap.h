// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where this computer was when it last heard a tracked Bluetooth device: a
// small map centred on that spot with one "location.fill" marker carrying
// the device's name, under the caption "Last seen with this Mac". The view
// is re-centred only when the recorded spot moves, so a user's pan or zoom
// survives every other refresh. GUI thread only.
#include <QWidget>
#include <optional>

#include "ui/map/GeoTypes.h"

namespace corvane {

class MapView;
struct MapTileSource;

class BluetoothLastSeenMap : public QWidget {
    Q_OBJECT
public:
    explicit BluetoothLastSeenMap(const MapTileSource& tiles, QWidget* parent = nullptr);

    void show(const QString& deviceName, const GeoCoordinate& coordinate);
    MapView& map() { return *map_; }

private:
    MapView* map_;
    std::optional<GeoCoordinate> centred_;
};

}  // namespace corvane
