// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Web Mercator as the OpenStreetMap tiles use it: the world is a square of
// 256 * 2^zoom pixels, x growing east from longitude -180, y growing south
// from latitude +85.0511 (where the square ends). Zoom is continuous; tiles
// exist for whole zooms only.
#include <QPointF>
#include <QSizeF>

#include "ui/map/GeoTypes.h"

namespace corvane {

class MapProjection {
public:
    static constexpr double kTileSize = 256;
    static constexpr double kMaxLatitude = 85.0511;
    static constexpr double kMinZoom = 0;
    static constexpr double kMaxZoom = 19;

    static double clampLatitude(double latitude);
    static double worldSize(double zoom);
    static QPointF toWorld(const GeoCoordinate& coordinate, double zoom);
    static GeoCoordinate fromWorld(const QPointF& world, double zoom);
    // The largest zoom at which the whole region fits a view of this size.
    static double zoomForRegion(const MapRegion& region, const QSizeF& viewSize);
    static double metersPerPixel(double latitude, double zoom);

    MapProjection(const GeoCoordinate& center, double zoom, const QSizeF& viewSize);

    GeoCoordinate center() const { return center_; }
    double zoom() const { return zoom_; }
    QSizeF viewSize() const { return viewSize_; }
    // World pixel of the view's top-left corner.
    QPointF origin() const { return origin_; }

    // Longitudes are taken on the copy of the world nearest the centre, so a
    // marker east of the date line shows beside a centre west of it.
    QPointF toScreen(const GeoCoordinate& coordinate) const;
    GeoCoordinate toCoordinate(const QPointF& screen) const;
    // The region that zoomForRegion maps back to this view.
    MapRegion region() const;
    double metersToPixels(double meters, double latitude) const;

private:
    GeoCoordinate center_;
    double zoom_;
    QSizeF viewSize_;
    QPointF origin_;
};

}  // namespace corvane
