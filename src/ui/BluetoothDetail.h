// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Bluetooth section's content: while finding, the finder panel; for a
// selected device, its card ("Track This Device", "Find Nearby") with, for
// a tracked one, the map of where it was last heard or the note that the
// location is still to come; else the placeholder. GUI thread only.
#include <optional>

#include "core/DateTime.h"
#include "core/Uuid.h"
#include "ui/PlaceholderStack.h"

class QLabel;
class QPushButton;

namespace corvane {

class BluetoothFinderDetail;
class BluetoothLastSeenMap;
class BluetoothTrackerManager;
class EmptyState;
struct DiscoveredTracker;
struct MapTileSource;
struct TrackedBluetoothDevice;

class BluetoothDetail : public PlaceholderStack {
    Q_OBJECT
public:
    BluetoothDetail(BluetoothTrackerManager& trackers, const MapTileSource& tiles, QWidget* parent = nullptr);

    // The selected device's nearby entry and tracked record, either absent.
    void refresh(const DiscoveredTracker* live, const TrackedBluetoothDevice* tracked, Timestamp now);

signals:
    void settingsRequested();

private:
    QWidget* buildCard(const MapTileSource& tiles);

    BluetoothTrackerManager& trackers_;
    std::optional<Uuid> shown_;
    QWidget* card_;
    QLabel* title_;
    QPushButton* track_;
    BluetoothLastSeenMap* lastSeenMap_;
    EmptyState* noLocation_;
    BluetoothFinderDetail* finder_;
};

}  // namespace corvane
