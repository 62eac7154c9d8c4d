// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/MeshtasticMapPane.h"

#include <QEvent>
#include <chrono>

#include "app/CorvaneModel.h"
#include "app/ports/DefaultsStore.h"
#include "ui/EmptyState.h"
#include "ui/SymbolIcon.h"
#include "ui/map/MapView.h"
#include "ui/map/TileLoader.h"

namespace corvane {
namespace {

constexpr auto kFitAnimation = std::chrono::milliseconds(350);
constexpr const char* kHasSavedRegion = "map.hasSavedRegion";
constexpr const char* kCenterLatitude = "map.centerLatitude";
constexpr const char* kCenterLongitude = "map.centerLongitude";
constexpr const char* kLatitudeDelta = "map.latitudeDelta";
constexpr const char* kLongitudeDelta = "map.longitudeDelta";
const QString kMarkedPosition = QStringLiteral("marked-position");

bool sameMarkers(const std::vector<MapMarker>& a, const std::vector<MapMarker>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const MapMarker& x, const MapMarker& y) {
        return x.id == y.id && x.coordinate.latitude == y.coordinate.latitude &&
               x.coordinate.longitude == y.coordinate.longitude && x.symbol == y.symbol && x.title == y.title &&
               x.highlighted == y.highlighted && x.dimmed == y.dimmed;
    });
}

bool sameCircle(const std::optional<MapCircle>& a, const std::optional<MapCircle>& b) {
    if (!a || !b) return a.has_value() == b.has_value();
    return a->center.latitude == b->center.latitude && a->center.longitude == b->center.longitude &&
           a->radiusMeters == b->radiusMeters;
}

}  // namespace

MapTileSource MapTileSource::resolve(const DefaultsStore& defaults, const QString& version) {
    MapTileSource source;
    if (const char* fromEnvironment = std::getenv("CORVANE_TILE_URL"))
        source.urlTemplate = QString::fromUtf8(fromEnvironment);
    else if (const auto stored = defaults.string("map.tileURL"))
        source.urlTemplate = QString::fromStdString(*stored);
    else
        source.urlTemplate = QString::fromLatin1(kOpenStreetMap);
    source.cacheFolder = MapView::defaultTileCacheFolder();
    source.userAgent = TileLoader::userAgentFor(version);
    source.loader = std::make_shared<TileLoader>();
    source.loader->setCacheFolder(source.cacheFolder);
    source.loader->setUserAgent(source.userAgent);
    source.loader->setUrlTemplate(source.urlTemplate);
    return source;
}

void MapTileSource::applyTo(MapView& map) const {
    if (loader) map.setTileLoader(loader.get());
    map.setSymbolIcons([](const QString& symbol) { return SymbolIcon::icon(symbol, QColor(Qt::white)); });
}

MeshtasticMapPane::MeshtasticMapPane(CorvaneModel& model, DefaultsStore& defaults, const MapTileSource& tiles,
                                     QWidget* parent)
    : PlaceholderStack(parent), model_(model), defaults_(defaults), map_(new MapView) {
    placeholder().setObjectName(QStringLiteral("mapWaiting"));
    placeholder().setContent(QStringLiteral("location.fill"), QStringLiteral("Waiting for a position"),
                         QStringLiteral("The map will update when a tracker sends GPS coordinates."));
    map_->setObjectName(QStringLiteral("meshtasticMap"));
    map_->setAccessibleName(QStringLiteral("Map of Meshtastic nodes"));
    tiles.applyTo(*map_);
    connect(map_, &MapView::markerActivated, this, [this](const QString& id) {
        bool number = false;
        const std::uint32_t node = id.toUInt(&number);
        if (number) model_.setSelectedNodeID(node);
    });
    connect(map_, &MapView::regionSettled, this, [this] { saveRegion(); });
    map_->installEventFilter(this);

    if (defaults_.boolean(kHasSavedRegion).value_or(false)) {
        map_->setRegion({{defaults_.number(kCenterLatitude).value_or(0), defaults_.number(kCenterLongitude).value_or(0)},
                         defaults_.number(kLatitudeDelta).value_or(0.1),
                         defaults_.number(kLongitudeDelta).value_or(0.1)});
        fitted_ = true;
    }

    addWidget(map_);
    refresh();
}

std::vector<GeoCoordinate> MeshtasticMapPane::nodeCoordinates() const {
    std::vector<GeoCoordinate> points;
    for (const auto& node : model_.nodes())
        if (node.position) points.push_back({node.position->latitude, node.position->longitude});
    return points;
}

void MeshtasticMapPane::refresh() {
    const auto guarded = model_.guardedNodeID();
    const auto selected = model_.selectedNodeID();
    std::vector<MapMarker> markers;
    // The mark goes first, so the guarded node standing on it stays visible.
    std::optional<MapCircle> circle;
    if (const auto& parked = model_.parkedPosition()) {
        markers.push_back({kMarkedPosition, {parked->latitude, parked->longitude}, QStringLiteral("mappin.circle.fill"),
                           QStringLiteral("Marked position"), false});
        circle = MapCircle{{parked->latitude, parked->longitude}, model_.parkingRadius()};
    }
    const std::size_t marks = markers.size();
    for (const auto& node : model_.nodes()) {
        if (!node.position) continue;
        markers.push_back({QString::number(node.number),
                           {node.position->latitude, node.position->longitude},
                           node.number == guarded                  ? QStringLiteral("bicycle")
                           : node.number == model_.localNodeID() ? QStringLiteral("cable.connector")
                                                                   : QStringLiteral("sensor.tag.radiowaves.forward.fill"),
                           QString::fromStdString(model_.displayName(node.number)),
                           node.number == selected,
                           model_.meshHealth().isSilent(node.number)});
    }
    const bool positioned = markers.size() > marks;
    if (!sameMarkers(markers, markers_)) {
        markers_ = markers;
        map_->setMarkers(std::move(markers));
    }
    if (!sameCircle(circle, circle_)) {
        circle_ = circle;
        map_->setCircle(circle);
    }
    refreshTrails();

    if (positioned || model_.parkedPosition()) {
        setCurrentWidget(map_);
    } else {
        showPlaceholder();
    }
    if (positioned && !fitted_) {
        fitted_ = true;
        fitDevices();
    }
}

// The history only grows while the model runs: read what is new since the
// last pass, keep the newest points per node.
void MeshtasticMapPane::refreshTrails() {
    const auto& history = model_.history();
    if (history.size() == trailsRead_) return;
    if (history.size() < trailsRead_) {
        trails_.clear();
        trailsRead_ = 0;
    }
    for (std::size_t i = trailsRead_; i < history.size(); ++i) {
        auto& trail = trails_[history[i].nodeNumber];
        trail.push_back({history[i].latitude, history[i].longitude});
        if (trail.size() > kTrailLength) trail.pop_front();
    }
    trailsRead_ = history.size();
    std::vector<MapTrail> trails;
    trails.reserve(trails_.size());
    for (const auto& [node, points] : trails_)
        trails.push_back({QString::number(node), std::vector<GeoCoordinate>(points.begin(), points.end())});
    map_->setTrails(std::move(trails));
}

void MeshtasticMapPane::fitDevices() {
    if (const auto region = MapView::fitRegion(nodeCoordinates())) map_->animateTo(*region, kFitAnimation);
}

bool MeshtasticMapPane::eventFilter(QObject* watched, QEvent* event) {
    if (watched == map_ && event->type() == QEvent::Show) seen_ = true;
    return PlaceholderStack::eventFilter(watched, event);
}

void MeshtasticMapPane::saveRegion() {
    if (!seen_) return;
    const MapRegion region = map_->region();
    defaults_.setBoolean(kHasSavedRegion, true);
    defaults_.setNumber(kCenterLatitude, region.center.latitude);
    defaults_.setNumber(kCenterLongitude, region.center.longitude);
    defaults_.setNumber(kLatitudeDelta, region.latitudeDelta);
    defaults_.setNumber(kLongitudeDelta, region.longitudeDelta);
}

}  // namespace corvane
