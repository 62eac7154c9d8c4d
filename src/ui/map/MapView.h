// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The map widget: tiles from an OpenStreetMap-style server (or a plain grid
// offline), trails, one circle and markers, drawn in that order, with the
// attribution always in the bottom-right corner, a link to the copyright
// page. Tiles are asked for once the view settles, not at every frame of a
// zoom, drag or animation. It holds no monitoring logic: the window hands
// it values and listens to its two signals.
#include <QIcon>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "ui/map/GeoTypes.h"

class QVariantAnimation;

namespace corvane {

class MapProjection;
class MapPainter;
class TileLoader;

class MapView : public QWidget {
    Q_OBJECT
public:
    explicit MapView(QWidget* parent = nullptr);
    ~MapView() override;

    // The loader shared by the window's maps (it must outlive the view);
    // until one is given the view uses a loader of its own.
    void setTileLoader(TileLoader* shared);
    void setTileUrlTemplate(const QString& urlTemplate);
    void setTileCacheFolder(const QString& folder);
    void setUserAgent(const QString& userAgent);
    void setSymbolIcons(std::function<QIcon(const QString& symbol)> icons);
    void setMarkers(std::vector<MapMarker> markers);
    const std::vector<MapMarker>& markers() const { return markers_; }
    void setTrails(std::vector<MapTrail> trails);
    void setCircle(std::optional<MapCircle> circle);

    MapRegion region() const;
    void setRegion(const MapRegion& region);
    void animateTo(const MapRegion& region, std::chrono::milliseconds duration);
    static std::optional<MapRegion> fitRegion(const std::vector<GeoCoordinate>& points);

    // The folder used when none is set: $XDG_CACHE_HOME/Corvane/tiles, else
    // ~/.cache/Corvane/tiles.
    static QString defaultTileCacheFolder();
    // How long the view waits after the last pan or zoom step before it
    // reports the region as settled.
    static constexpr std::chrono::milliseconds kSettleDelay{400};

signals:
    void markerActivated(const QString& id);
    void regionSettled(const MapRegion& region);
    // The attribution was clicked; the view opens the copyright page.
    void attributionActivated();

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    MapProjection projection() const;
    // Panning, zooming or animating: frames draw the tiles at hand.
    bool moving() const;
    bool overAttribution(const QPointF& point) const;
    // Turns a pending region into the current centre and zoom before the
    // user or an animation moves away from it.
    void fixView();
    void setView(const GeoCoordinate& center, double zoom);
    void userMoved();
    void zoomAround(const QPointF& anchor, double zoomDelta);
    void panBy(const QPointF& pixels);
    std::optional<QString> markerAt(const QPointF& point) const;

    TileLoader* tiles_;  // its own is a child object, so tests can find it
    bool sharedTiles_ = false;
    std::unique_ptr<MapPainter> painter_;
    std::vector<MapMarker> markers_;
    std::vector<MapTrail> trails_;
    std::optional<MapCircle> circle_;
    GeoCoordinate center_;
    double zoom_ = 2;
    // The region last set, refitted to every size the view takes until the
    // user or an animation moves away, so the caller's span stays visible
    // even when it was set before the layout gave the view its size.
    std::optional<MapRegion> pending_;
    QTimer settleTimer_;
    QVariantAnimation* animation_ = nullptr;
    std::optional<QPointF> pressAt_;
    QPointF lastDragAt_;
    std::optional<QString> pressedMarker_;
    bool dragging_ = false;
};

}  // namespace corvane
