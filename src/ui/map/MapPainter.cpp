// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/map/MapPainter.h"

#include <QFontMetricsF>
#include <QPaintDevice>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <array>
#include <cmath>

#include "ui/map/MapProjection.h"
#include "ui/map/TileLoader.h"

namespace corvane {

namespace {

constexpr double kTrailWidth = 3;
constexpr int kTrailShades = 5;  // steps from faint (oldest) to full (newest)
constexpr double kOldestTrailOpacity = 0.2;
constexpr double kTrailMinimumStep = 1.0;  // pixels
constexpr double kLabelReach = 150;         // how far a title may stick out of its badge, pixels
constexpr std::size_t kMaxCachedLabels = 2000;
// Qt's raster engine fills many short polylines faster than one long one
// (fewer joins per stroke, spans filled without its thread-pool hand-off);
// flat caps and bevel joins avoid the arcs round ones need.
constexpr std::size_t kTrailPieceSegments = 8;

QColor withAlpha(QColor color, int alpha) {
    color.setAlpha(alpha);
    return color;
}

bool sameTrails(const std::vector<MapTrail>& a, const std::vector<MapTrail>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const MapTrail& x, const MapTrail& y) {
        return x.id == y.id && std::equal(x.points.begin(), x.points.end(), y.points.begin(), y.points.end(),
                                          [](const GeoCoordinate& p, const GeoCoordinate& q) {
                                              return p.latitude == q.latitude && p.longitude == q.longitude;
                                          });
    });
}

// A neutral grey that keeps the white symbol and ring readable on light and
// dark ground alike.
const QColor kDimmedBadge(0x8e, 0x8e, 0x93);

// Everything but the symbol or title that changes how a marker's pixmaps look.
QString stateKey(const MapMarker& marker) {
    QString key = QStringLiteral("|..|");
    key[1] = QLatin1Char(marker.highlighted ? 'h' : 'n');
    key[2] = QLatin1Char(marker.dimmed ? 'd' : 'l');
    return key;
}

bool isDark(const QPalette& palette) { return palette.color(QPalette::Base).lightness() < 128; }

// The contrast ratio of two colours as the accessibility guidelines reckon it.
double contrast(const QColor& a, const QColor& b) {
    const auto luminance = [](const QColor& colour) {
        const auto linear = [](double c) { return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
        return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) + 0.0722 * linear(colour.blueF());
    };
    const double x = luminance(a);
    const double y = luminance(b);
    return (std::max(x, y) + 0.05) / (std::min(x, y) + 0.05);
}

// Grid spacing in degrees giving a handful of lines across the given span.
double gridStep(double spanDegrees) {
    static constexpr std::array kSteps{0.0001, 0.0002, 0.0005, 0.001, 0.002, 0.005, 0.01, 0.02, 0.05,
                                       0.1,    0.2,    0.5,    1.0,   2.0,   5.0,   10.0, 15.0, 30.0};
    for (double step : kSteps) {
        if (spanDegrees / step <= 8) return step;
    }
    return 45.0;
}

}  // namespace

void MapPainter::setSymbolIcons(std::function<QIcon(const QString& symbol)> icons) {
    icons_ = std::move(icons);
    clearCaches();
}

void MapPainter::clearCaches() {
    badges_.clear();
    labels_.clear();
}

void MapPainter::paint(QPainter& painter, const MapProjection& projection, const QPalette& palette,
                       TileLoader* tiles, const std::vector<MapTrail>& trails,
                       const std::optional<MapCircle>& circle, const std::vector<MapMarker>& markers) {
    paintGrid(painter, projection, palette);
    if (tiles != nullptr && tiles->enabled()) paintTiles(painter, projection, *tiles, tileRequester_);
    paintTrailLayer(painter, projection, palette, trails);
    if (circle) paintCircle(painter, projection, palette, *circle);
    paintMarkers(painter, projection, palette, markers);
    paintAttribution(painter, projection, palette);
}

int MapPainter::tileZoom(const MapProjection& projection, qreal pixelRatio) {
    const double wanted = projection.zoom() + std::log2(std::max<qreal>(1, pixelRatio));
    return int(std::clamp<long>(std::lround(wanted), long(MapProjection::kMinZoom), long(MapProjection::kMaxZoom)));
}

std::vector<TileKey> MapPainter::visibleTiles(const MapProjection& projection, qreal pixelRatio) {
    const int zoom = tileZoom(projection, pixelRatio);
    const double tile = MapProjection::kTileSize * std::exp2(projection.zoom() - zoom);
    const QPointF origin = projection.origin();
    const int count = 1 << zoom;
    const int firstX = int(std::floor(origin.x() / tile));
    const int lastX = int(std::floor((origin.x() + projection.viewSize().width() - 1) / tile));
    const int firstY = std::max(0, int(std::floor(origin.y() / tile)));
    const int lastY = std::min(count - 1, int(std::floor((origin.y() + projection.viewSize().height() - 1) / tile)));
    std::vector<TileKey> keys;
    for (int y = firstY; y <= lastY; ++y) {
        // More columns than the world has would only repeat tiles.
        for (int x = firstX; x <= lastX && x - firstX < count; ++x) {
            keys.push_back({zoom, ((x % count) + count) % count, y});
        }
    }
    return keys;
}

std::vector<std::size_t> MapPainter::drawOrder(const std::vector<MapMarker>& markers) {
    std::vector<std::size_t> order(markers.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_partition(order.begin(), order.end(), [&](std::size_t i) { return !markers[i].highlighted; });
    return order;
}

QRectF MapPainter::badgeRect(const MapProjection& projection, const MapMarker& marker) {
    const double diameter = marker.highlighted ? kHighlightedBadgeDiameter : kBadgeDiameter;
    const QPointF center = projection.toScreen(marker.coordinate);
    return {center.x() - diameter / 2, center.y() - diameter / 2, diameter, diameter};
}

std::vector<std::optional<QRectF>> MapPainter::placeLabels(const std::vector<QRectF>& badges,
                                                           const std::vector<QSizeF>& labelSizes,
                                                           const std::vector<std::size_t>& order) {
    constexpr double kGap = 2;
    std::vector<std::optional<QRectF>> placed(badges.size());
    std::vector<QRectF> taken;
    const auto free = [&](const QRectF& candidate, std::size_t owner) {
        for (std::size_t i = 0; i < badges.size(); ++i)
            if (i != owner && candidate.intersects(badges[i])) return false;
        return std::none_of(taken.begin(), taken.end(), [&](const QRectF& r) { return candidate.intersects(r); });
    };
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
        const std::size_t i = *it;
        const QSizeF size = labelSizes[i];
        if (size.isEmpty()) continue;
        const double left = badges[i].center().x() - size.width() / 2;
        const QRectF below(QPointF(left, badges[i].bottom() + kGap), size);
        const QRectF above(QPointF(left, badges[i].top() - kGap - size.height()), size);
        // The topmost title stays under its badge whatever it covers.
        const bool topmost = taken.empty();
        for (const QRectF& candidate : {below, above}) {
            if (!free(candidate, i) && !topmost) continue;
            placed[i] = candidate;
            taken.push_back(candidate);
            break;
        }
    }
    return placed;
}

void MapPainter::paintGrid(QPainter& painter, const MapProjection& projection, const QPalette& palette) {
    const QSizeF size = projection.viewSize();
    const QColor ground = isDark(palette) ? palette.color(QPalette::Base).lighter(115) : QColor(0xf2, 0xef, 0xe9);
    painter.fillRect(QRectF(QPointF(0, 0), size), ground);

    const MapRegion region = projection.region();
    const double step = gridStep(std::max(region.longitudeDelta, region.latitudeDelta));
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(withAlpha(palette.color(QPalette::Text), 45), 1));

    const double world = MapProjection::worldSize(projection.zoom());
    const QPointF origin = projection.origin();
    const double west = origin.x() / world * 360.0 - 180.0;
    const double east = (origin.x() + size.width()) / world * 360.0 - 180.0;
    for (double longitude = std::ceil(west / step) * step; longitude <= east; longitude += step) {
        const double x = (longitude + 180.0) / 360.0 * world - origin.x();
        painter.drawLine(QLineF(x, 0, x, size.height()));
    }
    const double north = MapProjection::fromWorld(origin, projection.zoom()).latitude;
    const double south = MapProjection::fromWorld(origin + QPointF(0, size.height()), projection.zoom()).latitude;
    for (double latitude = std::ceil(south / step) * step; latitude <= north; latitude += step) {
        const double y = MapProjection::toWorld({latitude, 0}, projection.zoom()).y() - origin.y();
        painter.drawLine(QLineF(0, y, size.width(), y));
    }
    painter.restore();
}

void MapPainter::paintTiles(QPainter& painter, const MapProjection& projection, TileLoader& tiles,
                            const void* requester) {
    const qreal ratio = painter.device() != nullptr ? painter.device()->devicePixelRatioF() : 1.0;
    const std::vector<TileKey> keys = visibleTiles(projection, ratio);
    if (requester != nullptr) tiles.setVisible(requester, keys);
    const double tile = MapProjection::kTileSize * std::exp2(projection.zoom() - tileZoom(projection, ratio));
    const double scale = tile / MapProjection::kTileSize * ratio;
    const QPointF origin = projection.origin();
    const int count = keys.empty() ? 1 : 1 << keys.front().zoom;
    const int firstX = int(std::floor(origin.x() / tile));
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, std::abs(scale - 1.0) > 1e-6);
    for (const TileKey& key : keys) {
        const QImage* image = tiles.image(key);
        if (image == nullptr) continue;
        // The key's x is wrapped; place it in the column it was asked for.
        int column = firstX + (((key.x - firstX) % count) + count) % count;
        const QRectF target(column * tile - origin.x(), key.y * tile - origin.y(), tile, tile);
        painter.drawImage(target, *image);
    }
    painter.restore();
}

void MapPainter::paintTrailLayer(QPainter& painter, const MapProjection& projection, const QPalette& palette,
                                 const std::vector<MapTrail>& trails) {
    // Stroking thousands of antialiased points is most of a repaint, and most
    // repaints (a marker moving, the selection, a tile arriving) leave the
    // trails and the view as they were: those reuse the last strokes.
    const qreal ratio = painter.device() != nullptr ? painter.device()->devicePixelRatioF() : 1.0;
    const QColor color = palette.color(QPalette::Highlight);
    const bool reusable = !trailLayer_.isNull() && trailLayerOrigin_.x() == projection.origin().x() &&
                          trailLayerOrigin_.y() == projection.origin().y() &&
                          trailLayerZoom_ == projection.zoom() && trailLayerSize_.width() == projection.viewSize().width() &&
                          trailLayerSize_.height() == projection.viewSize().height() &&
                          trailLayer_.devicePixelRatio() == ratio && trailLayerColor_ == color &&
                          sameTrails(trailLayerTrails_, trails);
    if (!reusable) {
        const QSize pixels = (projection.viewSize() * ratio).toSize();
        trailLayer_ = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        trailLayer_.setDevicePixelRatio(ratio);
        trailLayer_.fill(Qt::transparent);
        QPainter layer(&trailLayer_);
        paintTrails(layer, projection, palette, trails);
        layer.end();
        trailLayerOrigin_ = projection.origin();
        trailLayerZoom_ = projection.zoom();
        trailLayerSize_ = projection.viewSize();
        trailLayerColor_ = color;
        trailLayerTrails_ = trails;
    }
    painter.drawImage(QPointF(0, 0), trailLayer_);
}

void MapPainter::paintTrails(QPainter& painter, const MapProjection& projection, const QPalette& palette,
                             const std::vector<MapTrail>& trails) {
    const QColor color = palette.color(QPalette::Highlight);
    QPen pen(color, kTrailWidth, Qt::SolidLine, Qt::FlatCap, Qt::BevelJoin);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setBrush(Qt::NoBrush);
    std::vector<QPointF> screen;
    for (const MapTrail& trail : trails) {
        const std::size_t count = std::min(trail.points.size(), kTrailPoints);
        if (count < 2) continue;
        screen.clear();
        for (std::size_t i = trail.points.size() - count; i < trail.points.size(); ++i) {
            const QPointF point = projection.toScreen(trail.points[i]);
            // A tracker standing still repeats its position; points closer
            // than a pixel to the last one drawn add nothing but cost.
            if (!screen.empty() && i + 1 < trail.points.size() &&
                QLineF(screen.back(), point).length() < kTrailMinimumStep) {
                continue;
            }
            screen.push_back(point);
        }
        if (screen.size() < 2) continue;
        // Shades are drawn oldest first, each sharing its last point with the
        // next so the line stays unbroken.
        const std::size_t segments = screen.size() - 1;
        for (int shade = 0; shade < kTrailShades; ++shade) {
            const std::size_t from = segments * std::size_t(shade) / kTrailShades;
            const std::size_t to = segments * std::size_t(shade + 1) / kTrailShades;
            if (to <= from) continue;
            const double opacity = kOldestTrailOpacity + (1.0 - kOldestTrailOpacity) * (shade + 1) / kTrailShades;
            pen.setColor(withAlpha(color, int(opacity * 255)));
            painter.setPen(pen);
            for (std::size_t i = from; i < to; i += kTrailPieceSegments) {
                painter.drawPolyline(screen.data() + i, int(std::min(kTrailPieceSegments, to - i) + 1));
            }
        }
    }
    painter.restore();
}

void MapPainter::paintCircle(QPainter& painter, const MapProjection& projection, const QPalette& palette,
                             const MapCircle& circle) {
    const QPointF center = projection.toScreen(circle.center);
    const double radius = projection.metersToPixels(circle.radiusMeters, circle.center.latitude);
    const QColor color = palette.color(QPalette::Highlight);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(QPen(withAlpha(color, 200), 2));
    painter.setBrush(withAlpha(color, 45));
    painter.drawEllipse(center, radius, radius);
    painter.restore();
}

const QPixmap& MapPainter::badge(const MapMarker& marker, const QPalette& palette, qreal pixelRatio) {
    // Keyed by pixel ratio too: a window moved to a screen of another ratio
    // must not blow up the first screen's pixmaps.
    const QString& symbol = marker.symbol;
    const bool highlighted = marker.highlighted;
    const QString key = symbol + stateKey(marker) + QString::number(pixelRatio);
    if (auto found = badges_.find(key); found != badges_.end()) return found->second;

    const double diameter = highlighted ? kHighlightedBadgeDiameter : kBadgeDiameter;
    QPixmap pixmap(QSize(int(std::ceil(diameter * pixelRatio)), int(std::ceil(diameter * pixelRatio))));
    pixmap.setDevicePixelRatio(pixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing, true);
    const QRectF outer(0, 0, diameter, diameter);
    // A light ring keeps the badge apart from dark and light ground alike;
    // the highlighted one gets a thicker ring in the accent's contrast colour.
    const double ring = highlighted ? 4 : 2;
    p.setPen(Qt::NoPen);
    p.setBrush(highlighted ? palette.color(QPalette::HighlightedText) : QColor(Qt::white));
    p.drawEllipse(outer);
    p.setBrush(marker.dimmed ? kDimmedBadge : palette.color(QPalette::Highlight));
    p.drawEllipse(outer.adjusted(ring, ring, -ring, -ring));
    const QIcon icon = icons_ ? icons_(symbol) : QIcon();
    const double side = diameter * 0.55;
    const QRectF iconRect(outer.center().x() - side / 2, outer.center().y() - side / 2, side, side);
    if (!icon.isNull()) {
        icon.paint(&p, iconRect.toAlignedRect());
    } else {
        p.setBrush(palette.color(QPalette::HighlightedText));
        p.drawEllipse(iconRect.center(), side / 4, side / 4);
    }
    p.end();
    return badges_.emplace(key, std::move(pixmap)).first->second;
}

const QPixmap& MapPainter::label(const MapMarker& marker, const QFont& font, const QPalette& palette,
                                 qreal pixelRatio) {
    const QString& title = marker.title;
    const bool highlighted = marker.highlighted;
    const QString key = stateKey(marker) + QString::number(pixelRatio) + QLatin1Char('|') + title;
    if (auto found = labels_.find(key); found != labels_.end()) return found->second;
    // Titles come and go with node names; a bounded cache keeps a long
    // session from collecting every name ever shown.
    if (labels_.size() >= kMaxCachedLabels) labels_.erase(labels_.begin());

    QFont labelFont = font;
    labelFont.setBold(highlighted);
    const QFontMetricsF metrics(labelFont);
    const QSizeF size(metrics.horizontalAdvance(title) + 8, metrics.height() + 2);
    QPixmap pixmap((size * pixelRatio).toSize() + QSize(1, 1));
    pixmap.setDevicePixelRatio(pixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(Qt::NoPen);
    p.setBrush(withAlpha(palette.color(QPalette::Base), 215));
    const QRectF box(QPointF(0, 0), size);
    p.drawRoundedRect(box, 4, 4);
    p.setPen(palette.color(marker.dimmed ? QPalette::PlaceholderText : QPalette::Text));
    p.setFont(labelFont);
    p.drawText(box, Qt::AlignCenter, title);
    p.end();
    return labels_.emplace(key, std::move(pixmap)).first->second;
}

void MapPainter::paintMarkers(QPainter& painter, const MapProjection& projection, const QPalette& palette,
                              const std::vector<MapMarker>& markers) {
    if (markers.empty()) return;
    const QRectF view(QPointF(0, 0), projection.viewSize());
    const qreal ratio = painter.device() != nullptr ? painter.device()->devicePixelRatioF() : 1.0;
    const std::vector<std::size_t> order = drawOrder(markers);
    std::vector<QRectF> badges(markers.size());
    // Copies (shared, not deep): the bounded cache may evict while filling.
    std::vector<QPixmap> titles(markers.size());
    std::vector<QSizeF> titleSizes(markers.size());
    for (std::size_t i = 0; i < markers.size(); ++i) {
        badges[i] = badgeRect(projection, markers[i]);
        const bool near = view.intersects(badges[i].adjusted(-kLabelReach, -kLabelReach, kLabelReach, kLabelReach));
        if (!near || markers[i].title.isEmpty()) continue;
        titles[i] = label(markers[i], painter.font(), palette, ratio);
        titleSizes[i] = QSizeF(titles[i].size()) / ratio;
    }
    const auto placed = placeLabels(badges, titleSizes, order);
    for (std::size_t index : order) {
        if (!view.intersects(badges[index])) continue;
        painter.drawPixmap(badges[index].topLeft(), badge(markers[index], palette, ratio));
    }
    // Titles over every badge: placement keeps them off the badges anyway,
    // and a badge drawn later must not cut into an earlier title.
    for (std::size_t index : order) {
        if (placed[index] && view.intersects(*placed[index])) painter.drawPixmap(placed[index]->topLeft(), titles[index]);
    }
}

namespace {

QFont attributionFont(QFont font) {
    font.setPointSizeF(std::max(7.0, font.pointSizeF() * 0.85));
    font.setUnderline(true);
    return font;
}

}  // namespace

QRectF MapPainter::attributionRect(const MapProjection& projection, const QFont& font) {
    const QFontMetricsF metrics(attributionFont(font));
    const double width = metrics.horizontalAdvance(kAttribution) + 8;
    const double height = metrics.height() + 2;
    const QSizeF size = projection.viewSize();
    return {size.width() - width, size.height() - height, width, height};
}

void MapPainter::paintAttribution(QPainter& painter, const MapProjection& projection, const QPalette& palette) {
    painter.save();
    const QRectF box = attributionRect(projection, painter.font());
    painter.setFont(attributionFont(painter.font()));
    painter.fillRect(box, withAlpha(palette.color(QPalette::Base), 215));
    // Drawn as the link it is (a click opens the copyright page), in the
    // link colour unless a theme left that too close to the ground.
    const QColor link = palette.color(QPalette::Link);
    painter.setPen(contrast(link, palette.color(QPalette::Base)) >= 4.5 ? link : palette.color(QPalette::Text));
    painter.drawText(box, Qt::AlignCenter, kAttribution);
    painter.restore();
}

}  // namespace corvane
