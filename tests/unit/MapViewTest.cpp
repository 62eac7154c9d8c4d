// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QWheelEvent>

#include "ui/map/MapPainter.h"
#include "ui/map/MapProjection.h"
#include "ui/map/MapView.h"
#include "support/WidgetApplication.h"
#include "ui/map/TileLoader.h"

namespace corvane {
namespace {

// 512 pixels over this span of longitude is zoom 12 exactly, so expected
// pixels follow from the tile scheme without asking the view.
constexpr double kZoom = 12;
constexpr double kSpan = 2 * 360.0 / 4096;
const GeoCoordinate kCenter{48.025, 11.025};  // between grid lines, which fall on 0.05°
constexpr int kWidth = 512;
constexpr int kHeight = 400;

double pixelsPerDegreeLongitude() { return MapProjection::worldSize(kZoom) / 360; }

// Every symbol a plain square: red for the bicycle, green for anything else.
QIcon squareIcon(const QString& symbol) {
    QPixmap pixmap(32, 32);
    pixmap.fill(symbol == "bicycle" ? Qt::red : Qt::green);
    return QIcon(pixmap);
}

class MapViewTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { widgetApplication(); }

    MapViewTest() {
        view.resize(kWidth, kHeight);
        view.setRegion({kCenter, 0.01, kSpan});
        view.setSymbolIcons(squareIcon);
    }

    QImage render() { return view.grab().toImage().convertToFormat(QImage::Format_RGB32); }

    void mouse(QEvent::Type type, QPointF at, Qt::MouseButton button, Qt::MouseButtons held) {
        QMouseEvent event(type, at, view.mapToGlobal(at), button, held, {});
        QApplication::sendEvent(&view, &event);
    }
    void click(QPointF at) {
        mouse(QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
        mouse(QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
    }

    void wheel(QPointF at, int angle) {
        QWheelEvent event(at, view.mapToGlobal(at), {}, QPoint(0, angle), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&view, &event);
    }
    void key(int code) {
        QKeyEvent press(QEvent::KeyPress, code, Qt::NoModifier);
        QApplication::sendEvent(&view, &press);
    }

    MapView view;
    const QPointF middle{kWidth / 2.0, kHeight / 2.0};
};

TEST_F(MapViewTest, DrawsCircleToScaleMarkersTrailsAndAttributionOverTheGrid) {
    const double eastOffset = 0.06 * pixelsPerDegreeLongitude();  // ~175 px
    view.setMarkers({{"bike", {kCenter.latitude, kCenter.longitude + 0.06}, "bicycle", "Bike", true},
                     {"other", {kCenter.latitude, kCenter.longitude - 0.06}, "antenna", "Base", false}});
    const double radiusPixels = 1000 / MapProjection::metersPerPixel(kCenter.latitude, kZoom);  // ~39 px
    view.setCircle(MapCircle{kCenter, 1000});
    // A trail heading south, drawn oldest first: the newest end is the strongest.
    MapTrail trail{"bike", {}};
    for (int i = 0; i < 600; ++i) trail.points.push_back({kCenter.latitude + 0.02 - i * 0.00006, kCenter.longitude - 0.03});
    view.setTrails({trail});

    const QImage image = render();
    const int cy = kHeight / 2;
    const QRgb ground = image.pixel(kWidth / 2 + int(radiusPixels) + 20, cy);
    EXPECT_NE(image.pixel(kWidth / 2 + int(radiusPixels) - 3, cy), ground) << "inside the radius is tinted";
    EXPECT_EQ(image.pixel(kWidth / 2 + int(radiusPixels) + 4, cy), ground) << "the circle is to scale";
    EXPECT_EQ(image.pixel(int(kWidth / 2 + eastOffset), cy), qRgb(255, 0, 0)) << "bicycle icon at its coordinate";
    EXPECT_EQ(image.pixel(int(kWidth / 2 - eastOffset), cy), qRgb(0, 255, 0));

    const int trailX = int(std::lround(kWidth / 2 - 0.03 * pixelsPerDegreeLongitude()));
    const MapProjection projection(kCenter, kZoom, QSizeF(kWidth, kHeight));
    // Only the newest 500 points are drawn: the first 100 lie above the drawn part.
    const int firstDrawnY = int(projection.toScreen(trail.points[100]).y());
    const int newestY = int(projection.toScreen(trail.points.back()).y());
    EXPECT_EQ(image.pixel(trailX, firstDrawnY - 8), image.pixel(trailX + 20, firstDrawnY - 8));
    const QColor oldest = image.pixel(trailX, firstDrawnY + 4);
    const QColor newest = image.pixel(trailX, newestY - 4);
    const QColor plain = QColor(image.pixel(trailX + 20, newestY - 4));
    EXPECT_NE(oldest, plain);
    EXPECT_GT(std::abs(newest.lightness() - plain.lightness()), std::abs(oldest.lightness() - plain.lightness()));

    int inked = 0;
    const QRgb box = image.pixel(kWidth - 2, kHeight - 2);
    for (int x = kWidth - 120; x < kWidth; ++x) {
        for (int y = kHeight - 10; y < kHeight; ++y) inked += image.pixel(x, y) != box;
    }
    EXPECT_GT(inked, 10) << "attribution text in the bottom-right corner";

    // Dark themes: the ground follows the palette and the text stays readable.
    QPalette dark = view.palette();
    dark.setColor(QPalette::Base, QColor(30, 30, 30));
    dark.setColor(QPalette::Text, QColor(230, 230, 230));
    view.setPalette(dark);
    const QImage night = render();
    EXPECT_LT(QColor(night.pixel(kWidth / 2 + int(radiusPixels) + 20, cy)).lightness(), 80);
    EXPECT_EQ(night.pixel(int(kWidth / 2 + eastOffset), cy), qRgb(255, 0, 0));
}

TEST_F(MapViewTest, RepaintsFollowChangedTrailsPansAndColours) {
    // A vertical trail through the middle; repaints reuse its strokes only
    // while nothing they depend on has changed.
    MapTrail trail{"bike", {}};
    for (int i = 0; i < 50; ++i) trail.points.push_back({kCenter.latitude + 0.005 - i * 0.0002, kCenter.longitude});
    const int x = kWidth / 2;
    const int y = kHeight / 2;
    const int dx = 100;
    const double shift = dx / pixelsPerDegreeLongitude();
    auto inked = [&](const QImage& image, int at) { return image.pixel(at, y) != image.pixel(at + 30, y); };

    MapTrail early{"bike", {trail.points.begin(), trail.points.begin() + 10}};
    view.setTrails({early});
    EXPECT_FALSE(inked(render(), x)) << "the early part ends above the middle";
    view.setTrails({trail});
    EXPECT_TRUE(inked(render(), x)) << "a grown trail is drawn to its new end";
    view.setTrails({});
    EXPECT_FALSE(inked(render(), x)) << "a removed trail is gone";
    MapTrail moved = trail;
    for (GeoCoordinate& point : moved.points) point.longitude += shift;
    view.setTrails({moved});
    const QImage shifted = render();
    EXPECT_TRUE(inked(shifted, x + dx)) << "a trail's new points are drawn";
    EXPECT_FALSE(inked(shifted, x));
    view.setRegion({{kCenter.latitude, kCenter.longitude + shift}, 0.01, kSpan});
    const QImage panned = render();
    EXPECT_TRUE(inked(panned, x)) << "a pan moves the trail";
    EXPECT_FALSE(inked(panned, x + dx));
    QPalette palette = view.palette();
    palette.setColor(QPalette::Highlight, Qt::red);
    view.setPalette(palette);
    const QColor red = render().pixel(x, y);
    EXPECT_GT(red.red(), red.blue()) << "the trail takes the new highlight colour";
}

TEST_F(MapViewTest, ClicksWheelAndKeysActOnTheMarkerAndRegion) {
    const QPointF marker(middle.x() + 0.06 * pixelsPerDegreeLongitude(), middle.y());
    view.setMarkers({{"bike", {kCenter.latitude, kCenter.longitude + 0.06}, "bicycle", "", false}});
    QSignalSpy activated(&view, &MapView::markerActivated);
    QSignalSpy settled(&view, &MapView::regionSettled);

    click(marker + QPointF(8, 0));
    click(marker + QPointF(20, 0));  // beside the badge
    ASSERT_EQ(activated.count(), 1);
    EXPECT_EQ(activated.at(0).at(0).toString(), "bike");

    // Zooming around the cursor keeps the marker under it.
    wheel(marker, 240);
    EXPECT_NEAR(view.region().longitudeDelta, kSpan / 2, 1e-9);
    click(marker);
    EXPECT_EQ(activated.count(), 2);

    const MapRegion before = view.region();
    key(Qt::Key_Right);
    EXPECT_NEAR(view.region().center.longitude, before.center.longitude + before.longitudeDelta / 8, 1e-9);
    key(Qt::Key_Up);
    EXPECT_GT(view.region().center.latitude, before.center.latitude);
    key(Qt::Key_Minus);
    EXPECT_NEAR(view.region().longitudeDelta, before.longitudeDelta * 2, 1e-9);
    key(Qt::Key_Plus);
    EXPECT_NEAR(view.region().longitudeDelta, before.longitudeDelta, 1e-9);

    // Dragging pans (the point under the cursor follows it) and is no click.
    const QPointF from = marker;
    const QPointF to = marker - QPointF(100, 0);
    const GeoCoordinate grabbed = MapProjection(view.region().center, kZoom + 1, QSizeF(kWidth, kHeight)).toCoordinate(from);
    mouse(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    mouse(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
    const MapProjection after(view.region().center, kZoom + 1, QSizeF(kWidth, kHeight));
    EXPECT_NEAR(after.toCoordinate(to).longitude, grabbed.longitude, 1e-9);
    EXPECT_EQ(activated.count(), 2);
    EXPECT_EQ(settled.count(), 0) << "settling waits for the user to stop";

    // A region set before the view is laid out is fitted once it has a size.
    MapView later;
    later.setRegion({kCenter, 0.01, kSpan});
    EXPECT_NEAR(later.region().longitudeDelta, kSpan, 1e-12);
    later.resize(kWidth * 2, kHeight);
    EXPECT_NEAR(later.region().longitudeDelta, kSpan, 1e-9);
}

TEST_F(MapViewTest, TilesAreAskedForOnceTheViewSettlesAtTheScreensPixelRatio) {
    QTemporaryDir cache;
    view.setTileCacheFolder(cache.path());
    view.setTileUrlTemplate(QStringLiteral("http://127.0.0.1:9/{z}/{x}/{y}.png"));
    auto* loader = view.findChild<TileLoader*>();
    const auto visible = [&] {
        const QSizeF size(kWidth, kHeight);
        const MapRegion region = view.region();
        return int(MapPainter::visibleTiles(MapProjection(region.center, MapProjection::zoomForRegion(region, size), size)).size());
    };
    render();
    const int before = loader->pendingCount();
    EXPECT_EQ(before, visible());
    wheel(middle, 120);  // to zoom 12.5, drawn from zoom 13's tiles once settled
    render();
    EXPECT_EQ(loader->pendingCount(), before) << "a frame of the zoom asks for nothing";
    view.setRegion(view.region());  // settled
    render();
    EXPECT_EQ(loader->pendingCount(), visible());
    EXPECT_NE(visible(), before);

    // Twice the pixels: one zoom level deeper, a quarter of the ground per tile.
    const MapProjection projection(kCenter, kZoom, QSizeF(kWidth, kHeight));
    const auto sharp = MapPainter::visibleTiles(projection, 2);
    EXPECT_EQ(sharp.front().zoom, int(kZoom) + 1);
    EXPECT_GT(sharp.size(), 2 * MapPainter::visibleTiles(projection, 1).size());
}

TEST_F(MapViewTest, ViewsSharingALoaderFetchWhatEitherShows) {
    QTemporaryDir cache;
    TileLoader shared;
    shared.setCacheFolder(cache.path());
    shared.setUrlTemplate(QStringLiteral("http://127.0.0.1:9/{z}/{x}/{y}.png"));
    auto here = std::make_unique<MapView>();
    auto there = std::make_unique<MapView>();
    for (MapView* map : {here.get(), there.get()}) {
        map->resize(kWidth, kHeight);
        map->setTileLoader(&shared);
    }
    here->setRegion({kCenter, 0.01, kSpan});
    there->setRegion({{-33.9, 151.2}, 0.01, kSpan});
    here->grab();
    const int mine = shared.pendingCount();
    there->grab();
    EXPECT_EQ(shared.pendingCount(), 2 * mine) << "one view's tiles do not cancel the other's";
    there.reset();
    EXPECT_EQ(shared.pendingCount(), mine);
}

TEST_F(MapViewTest, BadgesAndTitlesAreDrawnForEachPixelRatioAndTheAttributionIsALink) {
    const std::vector<MapMarker> markers{{"bike", kCenter, "bicycle", "Bike", true}};
    const MapProjection projection(kCenter, kZoom, QSizeF(kWidth, kHeight));
    const auto atRatio = [&](MapPainter& layers, qreal ratio) {
        QImage image(QSize(kWidth, kHeight) * ratio, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(ratio);
        QPainter painter(&image);
        layers.paint(painter, projection, view.palette(), nullptr, {}, std::nullopt, markers);
        return image;
    };
    MapPainter used;
    MapPainter fresh;
    used.setSymbolIcons(squareIcon);
    fresh.setSymbolIcons(squareIcon);
    atRatio(used, 1);
    EXPECT_EQ(atRatio(used, 2), atRatio(fresh, 2)) << "not the 1x pixmaps scaled up";

    QSignalSpy opened(&view, &MapView::attributionActivated);
    click(QPointF(kWidth - 20, kHeight - 4));
    click(QPointF(kWidth - 200, kHeight - 4));
    EXPECT_EQ(opened.count(), 1);
}

// Badge 1 sits just under badge 0; badge 2's long title reaches over both.
TEST(MapLabelPlacementTest, TitlesMoveAboveOrGiveWayTopmostMarkerFirst) {
    const std::vector<QRectF> badges{{0, 0, 26, 26}, {10, 40, 26, 26}, {100, 0, 26, 26}};
    const std::vector<QSizeF> sizes{{60, 14}, {60, 14}, {200, 14}};
    const auto placed = MapPainter::placeLabels(badges, sizes, {2, 0, 1});
    ASSERT_EQ(placed.size(), 3U);
    EXPECT_EQ(placed[1], QRectF(-7, 68, 60, 14)) << "the topmost marker's title under its badge";
    EXPECT_EQ(placed[0], QRectF(-17, -16, 60, 14)) << "under would cover badge 1: above";
    EXPECT_EQ(placed[2], std::nullopt) << "both places taken";
    EXPECT_EQ(MapPainter::placeLabels(badges, {{}, {60, 14}, {200, 14}}, {0, 1, 2})[0], std::nullopt);
    // Hemmed in above and below, the topmost title still shows, under its badge.
    const auto crowd = MapPainter::placeLabels({{0, 0, 26, 26}, {0, 30, 26, 26}, {0, -30, 26, 26}},
                                               {{60, 14}, {60, 14}, {60, 14}}, {1, 2, 0});
    EXPECT_EQ(crowd[0], QRectF(-17, 28, 60, 14));
}

}  // namespace
}  // namespace corvane
