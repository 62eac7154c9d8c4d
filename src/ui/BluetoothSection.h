// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Bluetooth section: tracked and nearby devices in the sidebar, the
// selected device's card or the finder panel in the content area, and its
// signal and tracking settings in the inspector, over the Bluetooth watcher.
// Entering the section selects the first tracked device when nothing listed
// is selected; leaving it also ends finder mode and switches the finder
// sound off.
#include <optional>

#include "core/Uuid.h"
#include "ui/ComboChoices.h"
#include "ui/ScanningSection.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace corvane {

struct UiContext;
class BluetoothDetail;
class BluetoothTrackerManager;
class DeviceListSidebar;
class PlaceholderStack;
struct DiscoveredTracker;
struct TrackedBluetoothDevice;

class BluetoothSection : public ScanningSection {
    Q_OBJECT
public:
    explicit BluetoothSection(UiContext& context);

    NetworkSection section() const override { return NetworkSection::bluetooth; }
    void deactivate() override;
    QString errorLine() const override;
    void dismissError() override;

    void refresh() override;

private:
    struct Selected {
        const DiscoveredTracker* live = nullptr;
        const TrackedBluetoothDevice* tracked = nullptr;
    };

    bool isScanning() const override;
    void setScanning(bool on) override;
    std::string watcherState() const override;
    void selectFirstTracked() override;
    Selected selectedDevice() const;
    void buildInspector();
    void select(std::optional<Uuid> id);
    void refreshSidebar();
    void refreshInspector();

    UiContext& context_;
    BluetoothTrackerManager& trackers_;
    std::optional<Uuid> selected_;

    DeviceListSidebar* sidebar_;
    BluetoothDetail* content_;

    PlaceholderStack* inspector_;
    QWidget* details_;
    QLabel* kind_;
    QLabel* nearby_;
    QLabel* lastHeard_;
    QLabel* lastSignal_;
    QLabel* proximity_;
    QWidget* tracking_;
    QLineEdit* name_;
    QCheckBox* lossAlert_;
    QComboBox* delay_;
    std::vector<ComboChoice> shownDelays_;
    QWidget* location_;
    QLabel* latitude_;
    QLabel* longitude_;
    QPushButton* findButton_;
    QPushButton* trackButton_;
};

}  // namespace corvane
