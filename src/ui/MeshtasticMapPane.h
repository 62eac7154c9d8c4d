// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Meshtastic map: a marker for every node with a position (the guarded
// one as a bicycle, silent ones greyed), each node's recent trail, the marked
// position with the alert radius, and the user's last view of the map kept
// across runs in the five "map.*" settings. Fitted to the nodes once, the
// first time positions exist, unless a saved region was restored. Only a
// region the user has seen is saved: a map never shown (a run without a
// radio) keeps the saved one, or none, so the next run still fits the map to
// its nodes.
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <vector>

#include "ui/PlaceholderStack.h"
#include "ui/map/GeoTypes.h"

namespace corvane {

class CorvaneModel;
class DefaultsStore;
class MapView;
class TileLoader;

struct MapTileSource {
    QString urlTemplate;  // empty: the offline grid
    QString cacheFolder;
    QString userAgent;
    // The one loader, disk cache and connection pool of every map view.
    std::shared_ptr<TileLoader> loader;

    static constexpr const char* kOpenStreetMap = "https://tile.openstreetmap.org/{z}/{x}/{y}.png";
    // CORVANE_TILE_URL when set (even empty), else "map.tileURL", else
    // OpenStreetMap; the cache under the user's cache folder.
    static MapTileSource resolve(const DefaultsStore& defaults, const QString& version);
    // Points `map` at the shared loader and gives it the window's marker symbols.
    void applyTo(MapView& map) const;
};

class MeshtasticMapPane : public PlaceholderStack {
    Q_OBJECT
public:
    static constexpr std::size_t kTrailLength = 500;

    MeshtasticMapPane(CorvaneModel& model, DefaultsStore& defaults, const MapTileSource& tiles,
                      QWidget* parent = nullptr);

    void refresh();
    // Centres on the latest positions of all positioned nodes (nothing
    // without any), animated.
    void fitDevices();
    void saveRegion();
    MapView& map() { return *map_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::vector<GeoCoordinate> nodeCoordinates() const;
    void refreshTrails();

    CorvaneModel& model_;
    DefaultsStore& defaults_;
    MapView* map_;
    bool fitted_ = false;
    bool seen_ = false;
    std::size_t trailsRead_ = 0;
    std::map<std::uint32_t, std::deque<GeoCoordinate>> trails_;
    std::vector<MapMarker> markers_;
    std::optional<MapCircle> circle_;
};

}  // namespace corvane
