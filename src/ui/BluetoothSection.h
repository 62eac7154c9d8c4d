// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Bluetooth section: tracked and nearby devices in the sidebar, the
// selected device's card or the finder panel in the content area, and its
// signal and tracking settings in the inspector, refreshed once per loop turn
// from the Bluetooth watcher. Entering the section starts the scan and
// selects the first tracked device when nothing listed is selected; leaving
// it stops finder mode or the scan and switches the finder sound off.
#include <memory>
#include <optional>

#include "core/Uuid.h"
#include "ui/RefreshOnChange.h"
#include "ui/WindowSection.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class QTreeView;

namespace corvane {

struct UiContext;
class BluetoothTrackerManager;
struct DiscoveredTracker;
struct TrackedBluetoothDevice;
class EmptyState;
class GroupedListModel;
class MetricGroup;

class BluetoothSection : public WindowSection {
    Q_OBJECT
public:
    explicit BluetoothSection(UiContext& context);
    ~BluetoothSection() override;

    NetworkSection section() const override { return NetworkSection::bluetooth; }
    QWidget* sidebar() override;
    QWidget* content() override;
    QWidget* inspector() override;

    bool supports(Command command) const override { return command == Command::scan; }
    void run(Command command) override;
    void activate() override;
    void deactivate() override;

    QString statusLine() const override;
    QString errorLine() const override;
    void dismissError() override;

    void refresh();
    GroupedListModel& listModel() { return *list_; }

private:
    // The selected device's nearby entry and tracked record, either absent.
    struct Selected {
        const DiscoveredTracker* live = nullptr;
        const TrackedBluetoothDevice* tracked = nullptr;
    };

    Selected selectedDevice() const;
    void buildSidebar();
    void buildContent();
    void buildInspector();
    void select(std::optional<Uuid> id);
    void refreshContent();
    void refreshInspector();

    UiContext& context_;
    BluetoothTrackerManager& trackers_;
    std::optional<Uuid> selected_;
    bool applyingSelection_ = false;

    QStackedWidget* sidebar_;
    EmptyState* noDevices_;
    GroupedListModel* list_;
    QTreeView* view_;

    QStackedWidget* content_;
    EmptyState* contentPlaceholder_;
    QWidget* card_;
    QLabel* cardTitle_;
    QPushButton* trackButton_;
    QWidget* finder_;
    QLabel* finderTrend_;
    QLabel* finderLastSeen_;
    QCheckBox* soundGuidance_;
    EmptyState* lastSeenPlace_;

    QStackedWidget* inspector_;
    EmptyState* inspectorPlaceholder_;
    QLabel* kind_;
    QLabel* nearby_;
    QLabel* lastHeard_;
    QLabel* lastSignal_;
    QLabel* proximity_;
    QWidget* tracking_;
    QLineEdit* name_;
    QCheckBox* lossAlert_;
    QComboBox* delay_;
    QPushButton* findButton_;
    QPushButton* inspectorTrackButton_;

    std::unique_ptr<RefreshOnChange> refresher_;
};

}  // namespace corvane
