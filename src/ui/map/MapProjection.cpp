// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/map/MapProjection.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace corvane {

namespace {

constexpr double kEarthCircumference = 40075016.686;  // metres at the equator, WGS 84

double radians(double degrees) { return degrees * std::numbers::pi / 180.0; }
double degrees(double radians) { return radians * 180.0 / std::numbers::pi; }

double mercatorY(double latitude) {
    const double phi = radians(MapProjection::clampLatitude(latitude));
    return std::log(std::tan(std::numbers::pi / 4.0 + phi / 2.0));
}

}  // namespace

double MapProjection::clampLatitude(double latitude) {
    return std::clamp(latitude, -kMaxLatitude, kMaxLatitude);
}

double MapProjection::worldSize(double zoom) { return kTileSize * std::exp2(zoom); }

QPointF MapProjection::toWorld(const GeoCoordinate& coordinate, double zoom) {
    const double size = worldSize(zoom);
    const double x = (coordinate.longitude + 180.0) / 360.0 * size;
    const double y = (1.0 - mercatorY(coordinate.latitude) / std::numbers::pi) / 2.0 * size;
    return {x, y};
}

GeoCoordinate MapProjection::fromWorld(const QPointF& world, double zoom) {
    const double size = worldSize(zoom);
    const double longitude = world.x() / size * 360.0 - 180.0;
    const double n = std::numbers::pi * (1.0 - 2.0 * world.y() / size);
    return {clampLatitude(degrees(std::atan(std::sinh(n)))), longitude};
}

double MapProjection::zoomForRegion(const MapRegion& region, const QSizeF& viewSize) {
    if (viewSize.isEmpty()) return kMinZoom;
    double zoom = kMaxZoom;
    if (region.longitudeDelta > 0) {
        const double fraction = std::min(region.longitudeDelta, 360.0) / 360.0;
        zoom = std::min(zoom, std::log2(viewSize.width() / (kTileSize * fraction)));
    }
    if (region.latitudeDelta > 0) {
        const double north = region.center.latitude + region.latitudeDelta / 2.0;
        const double south = region.center.latitude - region.latitudeDelta / 2.0;
        // The view is centred on the centre in Mercator, where degrees north
        // and south of it are not equally tall: the taller half decides.
        const double middle = mercatorY(region.center.latitude);
        const double half = std::max(mercatorY(north) - middle, middle - mercatorY(south));
        const double fraction = 2.0 * half / (2.0 * std::numbers::pi);
        if (fraction > 0) zoom = std::min(zoom, std::log2(viewSize.height() / (kTileSize * fraction)));
    }
    return std::clamp(zoom, kMinZoom, kMaxZoom);
}

double MapProjection::metersPerPixel(double latitude, double zoom) {
    return kEarthCircumference * std::cos(radians(clampLatitude(latitude))) / worldSize(zoom);
}

MapProjection::MapProjection(const GeoCoordinate& center, double zoom, const QSizeF& viewSize)
    : center_{clampLatitude(center.latitude), center.longitude},
      zoom_(std::clamp(zoom, kMinZoom, kMaxZoom)),
      viewSize_(viewSize),
      origin_(toWorld(center_, zoom_) - QPointF(viewSize.width() / 2.0, viewSize.height() / 2.0)) {}

QPointF MapProjection::toScreen(const GeoCoordinate& coordinate) const {
    QPointF point = toWorld(coordinate, zoom_) - origin_;
    const double size = worldSize(zoom_);
    const double centerX = viewSize_.width() / 2.0;
    point.setX(centerX + std::remainder(point.x() - centerX, size));
    return point;
}

GeoCoordinate MapProjection::toCoordinate(const QPointF& screen) const {
    GeoCoordinate coordinate = fromWorld(screen + origin_, zoom_);
    coordinate.longitude = std::remainder(coordinate.longitude, 360.0);
    return coordinate;
}

MapRegion MapProjection::region() const {
    const double north = fromWorld(origin_, zoom_).latitude;
    const double south = fromWorld(origin_ + QPointF(0, viewSize_.height()), zoom_).latitude;
    const double longitudeDelta = std::min(360.0, viewSize_.width() / worldSize(zoom_) * 360.0);
    // Twice the shorter half (in degrees) is the span that zoomForRegion
    // turns back into this very zoom, so a stored region restores the view
    // exactly instead of creeping outwards at every restart.
    const double latitudeDelta = 2.0 * std::min(north - center_.latitude, center_.latitude - south);
    return {center_, latitudeDelta, longitudeDelta};
}

double MapProjection::metersToPixels(double meters, double latitude) const {
    return meters / metersPerPixel(latitude, zoom_);
}

}  // namespace corvane
