// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Plain values the map speaks in: degrees of WGS 84, spans in degrees, radii
// in metres. The window builds them from the model; the map never reads the
// model itself.
#include <QString>
#include <vector>

namespace corvane {

struct GeoCoordinate {
    double latitude = 0;
    double longitude = 0;
};

// A centre with the latitude and longitude spans that must be visible.
struct MapRegion {
    GeoCoordinate center;
    double latitudeDelta = 0;
    double longitudeDelta = 0;
};

struct MapMarker {
    QString id;
    GeoCoordinate coordinate;
    QString symbol;
    QString title;
    bool highlighted = false;
    // Drawn in grey: a node that has gone quiet is still where it was last
    // seen, but that place is old news.
    bool dimmed = false;
};

struct MapTrail {
    QString id;
    std::vector<GeoCoordinate> points;  // oldest first
};

struct MapCircle {
    GeoCoordinate center;
    double radiusMeters = 0;
};

}  // namespace corvane
