// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The paint layers of the map, in drawing order: tiles (with the grid under
// them, which shows wherever a tile is missing or failed, and alone offline),
// trails, the circle, markers, and the attribution on top of everything.
#include <QIcon>
#include <QImage>
#include <QPalette>
#include <QPixmap>
#include <functional>
#include <optional>
#include <unordered_map>
#include <vector>

#include "ui/map/GeoTypes.h"
#include "ui/map/TileKey.h"

class QPainter;

namespace corvane {

class MapProjection;
class TileLoader;

class MapPainter {
public:
    static constexpr std::size_t kTrailPoints = 500;  // most recent points drawn per trail
    static constexpr double kBadgeDiameter = 26;
    static constexpr double kHighlightedBadgeDiameter = 36;
    static inline const QString kAttribution = QStringLiteral("© OpenStreetMap contributors");
    static inline const QString kAttributionUrl = QStringLiteral("https://www.openstreetmap.org/copyright");

    void setSymbolIcons(std::function<QIcon(const QString& symbol)> icons);
    // Badges and titles are drawn once per symbol or text, state and palette; a
    // palette, font or icon change drops them.
    void clearCaches();

    // Who asks the tile loader for the tiles painted, or none: while a view
    // moves, its frames draw the tiles at hand and ask for none.
    void setTileRequester(const void* requester) { tileRequester_ = requester; }

    void paint(QPainter& painter, const MapProjection& projection, const QPalette& palette, TileLoader* tiles,
               const std::vector<MapTrail>& trails, const std::optional<MapCircle>& circle,
               const std::vector<MapMarker>& markers);

    // The tile zoom for a device of `pixelRatio`: on a 2x screen one level
    // deeper, so each tile pixel meets one device pixel.
    static int tileZoom(const MapProjection& projection, qreal pixelRatio);
    static std::vector<TileKey> visibleTiles(const MapProjection& projection, qreal pixelRatio = 1);
    // Marker indices bottom to top: highlighted markers are drawn last so
    // they stay visible in a crowd.
    static std::vector<std::size_t> drawOrder(const std::vector<MapMarker>& markers);
    static QRectF badgeRect(const MapProjection& projection, const MapMarker& marker);
    // Where each marker's title goes: centred under its badge, else over it,
    // else nowhere, when both would cover a title already placed or another
    // marker's badge. Titles are placed topmost marker first (`order` runs
    // bottom to top), and the topmost one is always shown, so a highlighted
    // marker keeps its title in a crowd.
    // An empty size is a marker without a title.
    static std::vector<std::optional<QRectF>> placeLabels(const std::vector<QRectF>& badges,
                                                          const std::vector<QSizeF>& labelSizes,
                                                          const std::vector<std::size_t>& order);

    static void paintGrid(QPainter& painter, const MapProjection& projection, const QPalette& palette);
    // Draws the tiles at hand; asks for the visible ones on behalf of
    // `requester` unless it is null.
    static void paintTiles(QPainter& painter, const MapProjection& projection, TileLoader& tiles,
                           const void* requester);
    static void paintTrails(QPainter& painter, const MapProjection& projection, const QPalette& palette,
                            const std::vector<MapTrail>& trails);
    static void paintCircle(QPainter& painter, const MapProjection& projection, const QPalette& palette,
                            const MapCircle& circle);
    void paintMarkers(QPainter& painter, const MapProjection& projection, const QPalette& palette,
                      const std::vector<MapMarker>& markers);
    static void paintAttribution(QPainter& painter, const MapProjection& projection, const QPalette& palette);
    // Where the attribution is drawn in a view painted with `font`.
    static QRectF attributionRect(const MapProjection& projection, const QFont& font);

private:
    void paintTrailLayer(QPainter& painter, const MapProjection& projection, const QPalette& palette,
                         const std::vector<MapTrail>& trails);
    const QPixmap& badge(const MapMarker& marker, const QPalette& palette, qreal pixelRatio);

    const QPixmap& label(const MapMarker& marker, const QFont& font, const QPalette& palette, qreal pixelRatio);

    std::function<QIcon(const QString&)> icons_;
    const void* tileRequester_ = nullptr;
    std::unordered_map<QString, QPixmap> badges_;
    std::unordered_map<QString, QPixmap> labels_;
    // The trails as last stroked, and what they were stroked for.
    QImage trailLayer_;
    std::vector<MapTrail> trailLayerTrails_;
    QPointF trailLayerOrigin_;
    double trailLayerZoom_ = 0;
    QSizeF trailLayerSize_;
    QColor trailLayerColor_;
};

}  // namespace corvane
