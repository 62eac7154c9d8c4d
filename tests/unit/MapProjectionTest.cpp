// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "ui/map/MapProjection.h"
#include "ui/map/MapView.h"

namespace corvane {
namespace {

constexpr double kEps = 1e-6;

TEST(MapProjectionTest, WorldPixelsMatchTheTileScheme) {
    struct Case {
        GeoCoordinate where;
        double zoom;
        double tileX;
        double tileY;
    };
    // Tile numbers as the OpenStreetMap slippy-map scheme gives them.
    const Case cases[] = {
        {{0, 0}, 0, 0.5, 0.5},
        {{85.0511, -180}, 3, 0, 0},
        {{-85.0511, 180}, 3, 8, 8},
        {{52.52, 13.405}, 10, 550.1297778, 335.8260847},
        {{89.9, 0}, 2, 2, 0},  // beyond the square's edge: clamped, not wrapped or NaN
    };
    for (const Case& c : cases) {
        const QPointF world = MapProjection::toWorld(c.where, c.zoom);
        EXPECT_NEAR(world.x() / MapProjection::kTileSize, c.tileX, 1e-4) << c.where.latitude;
        EXPECT_NEAR(world.y() / MapProjection::kTileSize, c.tileY, 1e-4) << c.where.latitude;
    }
    for (const GeoCoordinate where : {GeoCoordinate{52.52, 13.405}, GeoCoordinate{-33.9, -70.6}, GeoCoordinate{84, 179}}) {
        const GeoCoordinate back = MapProjection::fromWorld(MapProjection::toWorld(where, 14.3), 14.3);
        EXPECT_NEAR(back.latitude, where.latitude, kEps);
        EXPECT_NEAR(back.longitude, where.longitude, kEps);
    }
}

TEST(MapProjectionTest, ScreenPointsRoundTripAndTakeTheNearestWorldCopy) {
    const MapProjection projection({48.1, 11.6}, 12.5, QSizeF(800, 600));
    EXPECT_NEAR(projection.toScreen({48.1, 11.6}).x(), 400, kEps);
    EXPECT_NEAR(projection.toScreen({48.1, 11.6}).y(), 300, kEps);
    for (const QPointF screen : {QPointF(0, 0), QPointF(800, 600), QPointF(123.5, 456.25)}) {
        const QPointF back = projection.toScreen(projection.toCoordinate(screen));
        EXPECT_NEAR(back.x(), screen.x(), 1e-5);
        EXPECT_NEAR(back.y(), screen.y(), 1e-5);
    }
    // North is up, east is right.
    EXPECT_LT(projection.toScreen({48.2, 11.6}).y(), 300);
    EXPECT_GT(projection.toScreen({48.1, 11.7}).x(), 400);

    // Across the date line a point two degrees east lies right of the centre.
    const MapProjection pacific({0, 179}, 6, QSizeF(800, 600));
    const double perDegree = MapProjection::worldSize(6) / 360;
    EXPECT_NEAR(pacific.toScreen({0, -179}).x(), 400 + 2 * perDegree, kEps);
    EXPECT_NEAR(pacific.toCoordinate({400 + 2 * perDegree, 300}).longitude, -179, kEps);
}

TEST(MapProjectionTest, RegionsAndZoomsConvertBothWays) {
    const QSizeF view(512, 400);
    // 512 pixels over 360/4096 * 2 degrees of longitude is zoom 12 exactly.
    const MapRegion wide{{48.0, 11.0}, 0.01, 2 * 360.0 / 4096};
    EXPECT_NEAR(MapProjection::zoomForRegion(wide, view), 12, kEps);

    // The zoom is the largest at which the whole requested region is on
    // screen: a little closer and one of its edges falls outside.
    for (const MapRegion requested : {wide, MapRegion{{48.0, 11.0}, 0.3, 0.01}, MapRegion{{-40, 170}, 5, 5}}) {
        const auto fits = [&](double zoom) {
            const MapProjection shown(requested.center, zoom, view);
            const GeoCoordinate topLeft = shown.toCoordinate({0, 0});
            const GeoCoordinate bottomRight = shown.toCoordinate({view.width(), view.height()});
            return topLeft.latitude >= requested.center.latitude + requested.latitudeDelta / 2 - kEps &&
                   bottomRight.latitude <= requested.center.latitude - requested.latitudeDelta / 2 + kEps &&
                   shown.region().longitudeDelta >= requested.longitudeDelta - kEps;
        };
        const double zoom = MapProjection::zoomForRegion(requested, view);
        EXPECT_TRUE(fits(zoom)) << requested.latitudeDelta;
        EXPECT_FALSE(fits(zoom + 0.01)) << requested.latitudeDelta;
    }
    const MapRegion shown = MapProjection(wide.center, 12, view).region();
    EXPECT_NEAR(shown.longitudeDelta, wide.longitudeDelta, 1e-12);
    EXPECT_NEAR(MapProjection::zoomForRegion(shown, view), 12, kEps);
    // Spans larger than the world and empty views stay in the tile range.
    EXPECT_EQ(MapProjection::zoomForRegion({{0, 0}, 170, 720}, QSizeF(200, 150)), MapProjection::kMinZoom);
    EXPECT_EQ(MapProjection::zoomForRegion({{0, 0}, 1e-9, 1e-9}, view), MapProjection::kMaxZoom);
    EXPECT_EQ(MapProjection::zoomForRegion({{0, 0}, 1, 1}, QSizeF()), MapProjection::kMinZoom);
}

TEST(MapProjectionTest, MetresToPixelsShrinkWithLatitude) {
    // 40,075,016.686 m of equator over 256 pixels at zoom 0.
    EXPECT_NEAR(MapProjection::metersPerPixel(0, 0), 156543.034, 1e-3);
    const MapProjection equator({0, 0}, 12, QSizeF(100, 100));
    const MapProjection north({60, 0}, 12, QSizeF(100, 100));
    EXPECT_NEAR(equator.metersToPixels(156543.034 / 4096 * 10, 0), 10, 1e-4);
    EXPECT_NEAR(north.metersToPixels(100, 60), 2 * equator.metersToPixels(100, 0), 1e-9);
}

TEST(MapProjectionTest, FitRegionFramesEveryPointWithMargin) {
    EXPECT_FALSE(MapView::fitRegion({}).has_value());
    struct Case {
        std::vector<GeoCoordinate> points;
        MapRegion expected;
    };
    const Case cases[] = {
        {{{47.5, 8.25}}, {{47.5, 8.25}, 0.02, 0.02}},
        {{{10, 23}, {12, 20}, {11, 21}}, {{11, 21.5}, 2.9, 4.35}},
        // Only the too-thin span is widened.
        {{{0, -1}, {0.01, 1}}, {{0.005, 0}, 0.02, 2.9}},
        {{{-0.5, 5}, {0.5, 5.005}}, {{0, 5.0025}, 1.45, 0.02}},
    };
    for (const Case& c : cases) {
        const auto region = MapView::fitRegion(c.points);
        ASSERT_TRUE(region.has_value());
        EXPECT_NEAR(region->center.latitude, c.expected.center.latitude, kEps);
        EXPECT_NEAR(region->center.longitude, c.expected.center.longitude, kEps);
        EXPECT_NEAR(region->latitudeDelta, c.expected.latitudeDelta, kEps);
        EXPECT_NEAR(region->longitudeDelta, c.expected.longitudeDelta, kEps);
    }
}

}  // namespace
}  // namespace corvane
