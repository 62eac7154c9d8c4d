// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/map/MapView.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QVariantAnimation>
#include <QUrl>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "ui/map/MapPainter.h"
#include "ui/map/MapProjection.h"
#include "ui/map/TileLoader.h"

namespace corvane {

namespace {

constexpr double kMinimumFitSpan = 0.02;  // degrees; one point still shows its streets
constexpr double kFitMargin = 1.45;
constexpr double kWheelZoomPerNotch = 0.5;
constexpr double kKeyPanFraction = 0.125;
// Used for region() and animations before the widget has been laid out.
const QSizeF kFallbackSize(640, 480);

}  // namespace

MapView::MapView(QWidget* parent)
    : QWidget(parent), tiles_(new TileLoader(this)), painter_(std::make_unique<MapPainter>()) {
    setAccessibleName(QStringLiteral("Map"));
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(160, 120);
    tiles_->setCacheFolder(defaultTileCacheFolder());
    setMouseTracking(true);
    connect(tiles_, &TileLoader::tileArrived, this, qOverload<>(&QWidget::update));
    settleTimer_.setSingleShot(true);
    settleTimer_.setInterval(kSettleDelay);
    connect(&settleTimer_, &QTimer::timeout, this, [this] {
        update();  // asks for the tiles of where the view came to rest
        emit regionSettled(region());
    });
}

MapView::~MapView() {
    if (sharedTiles_) tiles_->release(this);
}

void MapView::setTileLoader(TileLoader* shared) {
    if (shared == tiles_) return;
    if (sharedTiles_) {
        tiles_->release(this);
        tiles_->disconnect(this);
    } else {
        delete tiles_;
    }
    tiles_ = shared;
    sharedTiles_ = true;
    connect(tiles_, &TileLoader::tileArrived, this, qOverload<>(&QWidget::update));
    update();
}

bool MapView::moving() const {
    return settleTimer_.isActive() || dragging_ || (animation_ != nullptr && animation_->state() == QAbstractAnimation::Running);
}

bool MapView::overAttribution(const QPointF& point) const {
    return MapPainter::attributionRect(projection(), font()).contains(point);
}

QString MapView::defaultTileCacheFolder() {
    QString base = qEnvironmentVariable("XDG_CACHE_HOME");
    // The base-directory rules ignore relative values.
    if (base.isEmpty() || QDir::isRelativePath(base)) base = QDir::homePath() + QStringLiteral("/.cache");
    return base + QStringLiteral("/Corvane/tiles");
}

void MapView::setTileUrlTemplate(const QString& urlTemplate) {
    tiles_->setUrlTemplate(urlTemplate);
    update();
}

void MapView::setTileCacheFolder(const QString& folder) { tiles_->setCacheFolder(folder); }

void MapView::setUserAgent(const QString& userAgent) { tiles_->setUserAgent(userAgent); }

void MapView::setSymbolIcons(std::function<QIcon(const QString& symbol)> icons) {
    painter_->setSymbolIcons(std::move(icons));
    update();
}

void MapView::setMarkers(std::vector<MapMarker> markers) {
    markers_ = std::move(markers);
    update();
}

void MapView::setTrails(std::vector<MapTrail> trails) {
    trails_ = std::move(trails);
    update();
}

void MapView::setCircle(std::optional<MapCircle> circle) {
    circle_ = circle;
    update();
}

MapProjection MapView::projection() const {
    const QSizeF viewSize = size().isEmpty() ? kFallbackSize : QSizeF(size());
    if (pending_) return MapProjection(pending_->center, MapProjection::zoomForRegion(*pending_, viewSize), viewSize);
    return MapProjection(center_, zoom_, viewSize);
}

MapRegion MapView::region() const {
    if (pending_ && size().isEmpty()) return *pending_;
    return projection().region();
}

void MapView::setRegion(const MapRegion& region) {
    if (animation_ != nullptr) animation_->stop();
    settleTimer_.stop();
    pending_ = region;
    update();
}

void MapView::fixView() {
    const MapProjection current = projection();
    center_ = current.center();
    zoom_ = current.zoom();
    pending_.reset();
}

void MapView::setView(const GeoCoordinate& center, double zoom) {
    center_ = {MapProjection::clampLatitude(center.latitude), std::remainder(center.longitude, 360.0)};
    zoom_ = std::clamp(zoom, MapProjection::kMinZoom, MapProjection::kMaxZoom);
    update();
}

void MapView::animateTo(const MapRegion& target, std::chrono::milliseconds duration) {
    if (animation_ == nullptr) {
        animation_ = new QVariantAnimation(this);
        animation_->setStartValue(0.0);
        animation_->setEndValue(1.0);
        animation_->setEasingCurve(QEasingCurve::InOutQuad);
    }
    animation_->stop();
    animation_->disconnect(this);
    settleTimer_.stop();
    fixView();
    const GeoCoordinate from = center_;
    const double fromZoom = zoom_;
    const double toZoom = MapProjection::zoomForRegion(target, projection().viewSize());
    // The short way round, also across the date line.
    const double longitudeStep = std::remainder(target.center.longitude - from.longitude, 360.0);
    connect(animation_, &QVariantAnimation::valueChanged, this, [=, this](const QVariant& value) {
        const double t = value.toDouble();
        setView({from.latitude + (target.center.latitude - from.latitude) * t, from.longitude + longitudeStep * t},
                fromZoom + (toZoom - fromZoom) * t);
    });
    connect(animation_, &QVariantAnimation::finished, this, [this, target] {
        pending_ = target;
        update();
        emit regionSettled(region());
    });
    animation_->setDuration(int(std::max<std::chrono::milliseconds::rep>(1, duration.count())));
    animation_->start();
}

std::optional<MapRegion> MapView::fitRegion(const std::vector<GeoCoordinate>& points) {
    if (points.empty()) return std::nullopt;
    auto [south, north] = std::minmax_element(points.begin(), points.end(), [](const auto& a, const auto& b) {
        return a.latitude < b.latitude;
    });
    auto [west, east] = std::minmax_element(points.begin(), points.end(), [](const auto& a, const auto& b) {
        return a.longitude < b.longitude;
    });
    MapRegion region;
    region.center = {(south->latitude + north->latitude) / 2.0, (west->longitude + east->longitude) / 2.0};
    region.latitudeDelta = std::max(kMinimumFitSpan, (north->latitude - south->latitude) * kFitMargin);
    region.longitudeDelta = std::max(kMinimumFitSpan, (east->longitude - west->longitude) * kFitMargin);
    return region;
}

void MapView::userMoved() {
    settleTimer_.start();
}

void MapView::panBy(const QPointF& pixels) {
    if (animation_ != nullptr) animation_->stop();
    fixView();
    const MapProjection current = projection();
    const QPointF world = current.origin() + QPointF(current.viewSize().width() / 2, current.viewSize().height() / 2);
    setView(MapProjection::fromWorld(world + pixels, zoom_), zoom_);
    userMoved();
}

void MapView::zoomAround(const QPointF& anchor, double zoomDelta) {
    if (animation_ != nullptr) animation_->stop();
    fixView();
    const MapProjection current = projection();
    const double newZoom = std::clamp(zoom_ + zoomDelta, MapProjection::kMinZoom, MapProjection::kMaxZoom);
    // The point under the anchor stays under it.
    const QPointF anchorWorld = (current.origin() + anchor) * std::exp2(newZoom - zoom_);
    const QPointF half(current.viewSize().width() / 2, current.viewSize().height() / 2);
    setView(MapProjection::fromWorld(anchorWorld - anchor + half, newZoom), newZoom);
    userMoved();
}

std::optional<QString> MapView::markerAt(const QPointF& point) const {
    const MapProjection current = projection();
    const std::vector<std::size_t> order = MapPainter::drawOrder(markers_);
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
        const QRectF badge = MapPainter::badgeRect(current, markers_[*it]);
        const QPointF offset = point - badge.center();
        const double radius = badge.width() / 2;
        if (offset.x() * offset.x() + offset.y() * offset.y() <= radius * radius) return markers_[*it].id;
    }
    return std::nullopt;
}

void MapView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter_->setTileRequester(moving() ? nullptr : this);
    painter_->paint(painter, projection(), palette(), tiles_, trails_, circle_, markers_);
}

void MapView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange ||
        event->type() == QEvent::FontChange) {
        painter_->clearCaches();
        update();
    }
    QWidget::changeEvent(event);
}

void MapView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    pressAt_ = event->position();
    lastDragAt_ = event->position();
    pressedMarker_ = markerAt(event->position());
    dragging_ = false;
}

void MapView::mouseMoveEvent(QMouseEvent* event) {
    if (!pressAt_ || !(event->buttons() & Qt::LeftButton)) {
        if (overAttribution(event->position())) {
            setCursor(Qt::PointingHandCursor);
        } else {
            unsetCursor();
        }
        return QWidget::mouseMoveEvent(event);
    }
    if (!dragging_ && (event->position() - *pressAt_).manhattanLength() < QApplication::startDragDistance()) return;
    dragging_ = true;
    setCursor(Qt::ClosedHandCursor);
    panBy(lastDragAt_ - event->position());
    lastDragAt_ = event->position();
}

void MapView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !pressAt_) return QWidget::mouseReleaseEvent(event);
    if (!dragging_ && pressedMarker_ && markerAt(event->position()) == pressedMarker_) {
        emit markerActivated(*pressedMarker_);
    } else if (!dragging_ && overAttribution(*pressAt_) && overAttribution(event->position())) {
        emit attributionActivated();
        QDesktopServices::openUrl(QUrl(MapPainter::kAttributionUrl));
    }

    unsetCursor();
    pressAt_.reset();
    pressedMarker_.reset();
    dragging_ = false;
}

void MapView::wheelEvent(QWheelEvent* event) {
    const double notches = event->angleDelta().y() / 120.0;
    if (notches == 0) return QWidget::wheelEvent(event);
    zoomAround(event->position(), notches * kWheelZoomPerNotch);
    event->accept();
}

void MapView::keyPressEvent(QKeyEvent* event) {
    const QSizeF viewSize = projection().viewSize();
    const double dx = viewSize.width() * kKeyPanFraction;
    const double dy = viewSize.height() * kKeyPanFraction;
    const QPointF middle(viewSize.width() / 2, viewSize.height() / 2);
    switch (event->key()) {
    case Qt::Key_Left: panBy({-dx, 0}); break;
    case Qt::Key_Right: panBy({dx, 0}); break;
    case Qt::Key_Up: panBy({0, -dy}); break;
    case Qt::Key_Down: panBy({0, dy}); break;
    case Qt::Key_Plus:
    case Qt::Key_Equal: zoomAround(middle, 1); break;
    case Qt::Key_Minus: zoomAround(middle, -1); break;
    default: return QWidget::keyPressEvent(event);
    }
    event->accept();
}

}  // namespace corvane
