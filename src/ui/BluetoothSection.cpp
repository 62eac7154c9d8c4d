// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/BluetoothSection.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <algorithm>

#include "app/BluetoothTrackerManager.h"
#include "app/CorvaneModel.h"
#include "ui/BluetoothDetail.h"
#include "ui/BluetoothText.h"
#include "ui/ComboChoices.h"
#include "ui/DeviceListSidebar.h"
#include "ui/EmptyState.h"
#include "ui/FormParts.h"
#include "ui/SidebarRow.h"
#include "ui/MetricGroup.h"
#include "ui/UiContext.h"

namespace corvane {
namespace {

const std::vector<ComboChoice>& listedDelays() {
    static const std::vector<ComboChoice> kDelays{
        {QStringLiteral("15 seconds"), 15.0},   {QStringLiteral("30 seconds"), 30.0},
        {QStringLiteral("1 minute"), 60.0},     {QStringLiteral("2 minutes"), 120.0},
        {QStringLiteral("15 minutes"), 900.0},  {QStringLiteral("30 minutes"), 1800.0},
        {QStringLiteral("1 hour"), 3600.0},     {QStringLiteral("1 day"), 86400.0}};
    return kDelays;
}

QString text(const std::string& value) { return QString::fromStdString(value); }

QPushButton* button(const char* name, const QString& title) {
    auto* pushButton = new QPushButton(title);
    pushButton->setObjectName(QString::fromLatin1(name));
    return pushButton;
}

}  // namespace

BluetoothSection::BluetoothSection(UiContext& context)
    : ScanningSection(QStringLiteral("bluetoothScanButton"), QStringLiteral("Scan for nearby Bluetooth devices")),
      context_(context),
      trackers_(context.model.bluetoothTrackers()),
      sidebar_(new DeviceListSidebar(QStringLiteral("bluetoothDeviceList"), QStringLiteral("Bluetooth devices"))),
      content_(new BluetoothDetail(trackers_, context.tiles)),
      inspector_(new PlaceholderStack) {
    sidebar_->placeholder().setObjectName(QStringLiteral("bluetoothNoDevices"));
    connect(sidebar_, &DeviceListSidebar::selected, this,
            [this](const QString& id) { select(Uuid::parse(id.toStdString())); });
    connect(content_, &BluetoothDetail::settingsRequested, this, &WindowSection::settingsRequested);
    buildInspector();
    setPanes(sidebar_, content_, inspector_);
    refreshOn(context.loop, trackers_.changed());
}

void BluetoothSection::buildInspector() {
    inspector_->placeholder().setContent(QStringLiteral("dot.radiowaves.left.and.right"),
                                         QStringLiteral("Select a Bluetooth device"),
                                         QStringLiteral("Choose a nearby device to see its signal and available actions."));
    details_ = new QWidget;
    auto* layout = scrollingColumn(*details_);
    kind_ = new QLabel;
    kind_->setObjectName(QStringLiteral("bluetoothKind"));
    kind_->setTextFormat(Qt::PlainText);
    QFont kindFont = kind_->font();
    kindFont.setBold(true);
    kind_->setFont(kindFont);
    auto* signal = new MetricGroup(QStringLiteral("Signal"));
    nearby_ = signal->addMetric(QStringLiteral("Presence"), QStringLiteral("bluetoothNearby"));
    lastHeard_ = signal->addMetric(QStringLiteral("Last heard"), QStringLiteral("bluetoothLastHeard"));
    lastSignal_ = signal->addMetric(QStringLiteral("Last signal"), QStringLiteral("bluetoothLastSignal"));
    proximity_ = signal->addMetric(QStringLiteral("Proximity"), QStringLiteral("bluetoothProximity"));

    auto* tracking = new MetricGroup(QStringLiteral("Tracking"));
    tracking_ = tracking;
    name_ = new QLineEdit;
    name_->setObjectName(QStringLiteral("bluetoothTrackedName"));
    connect(name_, &QLineEdit::editingFinished, this, [this] {
        if (selected_) trackers_.renameTrackedDevice(*selected_, name_->text().toStdString());
    });
    lossAlert_ = new QCheckBox(QStringLiteral("Alert when signal is lost"));
    lossAlert_->setObjectName(QStringLiteral("bluetoothLossAlert"));
    connect(lossAlert_, &QCheckBox::toggled, this, [this](bool on) {
        if (selected_) trackers_.setLossAlert(on, *selected_);
    });
    delay_ = new QComboBox;
    delay_->setObjectName(QStringLiteral("bluetoothAlertDelay"));
    delay_->setAccessibleName(QStringLiteral("Alert after"));
    connect(delay_, &QComboBox::activated, this, [this](int index) {
        if (selected_ && index >= 0) trackers_.setLossAlertDelay(delay_->itemData(index).toDouble(), *selected_);
    });
    tracking->addRow(QStringLiteral("Name"), name_);
    tracking->addRow(lossAlert_);
    tracking->addRow(QStringLiteral("Alert after"), delay_);
    tracking->addRow(wrappedText(QStringLiteral("The alarm is armed only after this Mac hears the device during the "
                                                "current scan. Bluetooth range and radio conditions can cause signal loss."),
                                 true));

    auto* location = new MetricGroup(QStringLiteral("Last seen location"));
    location_ = location;
    latitude_ = location->addMetric(QStringLiteral("Latitude"), QStringLiteral("bluetoothLatitude"));
    longitude_ = location->addMetric(QStringLiteral("Longitude"), QStringLiteral("bluetoothLongitude"));

    findButton_ = button("bluetoothInspectorFindButton", QStringLiteral("Find Nearby"));
    connect(findButton_, &QPushButton::clicked, this, [this] {
        if (trackers_.isFinding() && trackers_.trackedID() == selected_) {
            trackers_.stopFinding();
        } else if (selected_) {
            trackers_.startFinding(*selected_);
        }
    });
    trackButton_ = button("bluetoothInspectorTrackButton", QStringLiteral("Track This Device"));
    connect(trackButton_, &QPushButton::clicked, this, [this] {
        const auto [live, tracked] = selectedDevice();
        if (tracked) {
            trackers_.stopTracking(tracked->id);
        } else if (live) {
            trackers_.track(*live);
        }
    });
    layout->addWidget(kind_);
    layout->addWidget(signal);
    layout->addWidget(tracking);
    layout->addWidget(location);
    layout->addWidget(findButton_);
    layout->addWidget(trackButton_);
    layout->addWidget(wrappedText(QStringLiteral("Corvane records the Mac's location when it hears a tracked device. "
                                                 "Bluetooth signal can show proximity while the device is nearby."),
                                  true));
    layout->addStretch(1);
    inspector_->addWidget(details_);
}

bool BluetoothSection::isScanning() const { return trackers_.isScanning(); }

void BluetoothSection::setScanning(bool on) { on ? trackers_.startScanning() : trackers_.stopScanning(); }

std::string BluetoothSection::watcherState() const { return trackers_.state(); }

void BluetoothSection::selectFirstTracked() {
    const auto [live, tracked] = selectedDevice();
    if (!live && !tracked && !trackers_.trackedDevices().empty()) select(trackers_.trackedDevices().front().id);
}

void BluetoothSection::deactivate() {
    // Finder mode scans for itself: ending it ends the scan.
    if (trackers_.isFinding()) {
        trackers_.stopFinding();
    } else {
        ScanningSection::deactivate();
    }
    trackers_.setFinderSoundEnabled(false);
}

void BluetoothSection::select(std::optional<Uuid> id) {
    selected_ = id;
    refresh();
}

void BluetoothSection::refresh() {
    refreshSidebar();
    const auto [live, tracked] = selectedDevice();
    content_->refresh(live, tracked, context_.loop.now());
    refreshInspector();
    emit statusChanged();
}

void BluetoothSection::refreshSidebar() {
    const auto& nearbyDevices = trackers_.devices();
    SidebarGroup tracked{QStringLiteral("tracked"), QStringLiteral("Tracked"), {}};
    for (const auto& device : trackers_.trackedDevices()) {
        const bool heard = std::any_of(nearbyDevices.begin(), nearbyDevices.end(),
                                       [&](const DiscoveredTracker& d) { return d.id == device.id; });
        SidebarRow row{text(device.id.string()), text(device.name),
                       heard ? QStringLiteral("dot.radiowaves.left.and.right")
                             : QStringLiteral("antenna.radiowaves.left.and.right.slash"),
                       QStringLiteral("Last seen ") + BluetoothText::time(device.lastSeen, context_.loop.now()), {}};
        if (device.latitude) row.badges.push_back({QStringLiteral("location.fill"), QStringLiteral("Last-seen location recorded")});
        if (device.lossAlertEnabled) row.badges.push_back({QStringLiteral("bell.badge.fill"), QStringLiteral("Signal-loss alert enabled")});
        tracked.rows.push_back(std::move(row));
    }
    SidebarGroup nearby{QStringLiteral("nearby"), QStringLiteral("Nearby"), {}};
    for (const auto& device : nearbyDevices) {
        SidebarRow row{text(device.id.string()), text(device.name), QStringLiteral("dot.radiowaves.left.and.right"),
                       BluetoothText::proximity(device), {}};
        if (trackers_.isFinding() && trackers_.trackedID() == device.id)
            row.badges.push_back({QStringLiteral("scope"), QStringLiteral("Currently finding")});
        nearby.rows.push_back(std::move(row));
    }
    std::vector<SidebarGroup> groups;
    if (!tracked.rows.empty()) groups.push_back(std::move(tracked));
    if (!nearby.rows.empty()) groups.push_back(std::move(nearby));
    sidebar_->placeholder().setContent(
        QStringLiteral("dot.radiowaves.left.and.right"),
        trackers_.isScanning() ? QStringLiteral("Looking for devices") : QStringLiteral("No Bluetooth devices found"),
        QStringLiteral("Devices appear as the Mac hears them during this scan."));
    sidebar_->showGroups(std::move(groups), selected_ ? text(selected_->string()) : QString());
}

BluetoothSection::Selected BluetoothSection::selectedDevice() const {
    Selected found;
    for (const auto& device : trackers_.devices())
        if (device.id == selected_) found.live = &device;
    for (const auto& device : trackers_.trackedDevices())
        if (device.id == selected_) found.tracked = &device;
    return found;
}

void BluetoothSection::refreshInspector() {
    const auto [live, tracked] = selectedDevice();
    if (!live && !tracked) return inspector_->showPlaceholder();
    inspector_->setCurrentWidget(details_);
    kind_->setText(live && live->isMeshtastic ? QStringLiteral("Meshtastic over Bluetooth")
                                              : QStringLiteral("Bluetooth Low Energy device"));
    nearby_->setText(live ? QStringLiteral("Nearby") : QStringLiteral("Not currently nearby"));
    lastHeard_->setText(BluetoothText::time(live ? live->lastSeen : tracked->lastSeen, context_.loop.now()));
    lastSignal_->setText(QString::number(live ? live->rssi : tracked->lastRSSI) + QStringLiteral(" dBm"));
    proximity_->setText(live ? BluetoothText::proximity(*live) : QString());
    tracking_->setVisible(tracked != nullptr);
    const bool located = tracked && tracked->latitude && tracked->longitude;
    location_->setVisible(located);
    if (located) {
        latitude_->setText(QString::number(*tracked->latitude, 'f', 5));
        longitude_->setText(QString::number(*tracked->longitude, 'f', 5));
    }
    if (tracked) {
        const QSignalBlocker nameBlocker(name_);
        const QSignalBlocker alertBlocker(lossAlert_);
        if (!name_->hasFocus()) name_->setText(text(tracked->name));
        lossAlert_->setChecked(tracked->lossAlertEnabled);
        const double delay = tracked->lossAlertDelay;
        showChoices(*delay_, shownDelays_, choicesWith(listedDelays(), delay, QString::number(delay) + QStringLiteral(" seconds")),
                    delay);
    }
    findButton_->setText(trackers_.isFinding() && trackers_.trackedID() == selected_ ? QStringLiteral("Stop Finding")
                                                                                   : QStringLiteral("Find Nearby"));
    trackButton_->setText(tracked ? QStringLiteral("Stop Tracking") : QStringLiteral("Track This Device"));
}

QString BluetoothSection::errorLine() const { return text(trackers_.errorMessage().value_or(std::string())); }

void BluetoothSection::dismissError() { trackers_.setErrorMessage(std::nullopt); }

}  // namespace corvane
