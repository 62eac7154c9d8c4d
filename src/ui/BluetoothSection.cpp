// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/BluetoothSection.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTreeView>
#include <QVBoxLayout>
#include <cmath>

#include "app/BluetoothTrackerManager.h"
#include "app/CorvaneModel.h"
#include "ui/EmptyState.h"
#include "ui/FormParts.h"
#include "ui/GroupedListModel.h"
#include "ui/MetricGroup.h"
#include "ui/SidebarRowDelegate.h"
#include "ui/UiContext.h"

namespace corvane {
namespace {

constexpr std::pair<double, const char*> kDelays[] = {{15, "15 seconds"}, {30, "30 seconds"}, {60, "1 minute"},
                                                      {120, "2 minutes"}, {900, "15 minutes"}, {1800, "30 minutes"},
                                                      {3600, "1 hour"},   {86400, "1 day"}};

QString text(const std::string& value) { return QString::fromStdString(value); }

QString timeText(Timestamp instant) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(instant.time_since_epoch()).count();
    return QDateTime::fromSecsSinceEpoch(seconds).toString(QStringLiteral("HH:mm:ss"));
}

QString proximityText(const DiscoveredTracker& device) {
    return QString::fromUtf8(label(device.band).data()) + QStringLiteral(" · ") +
           QString::fromUtf8(finderLabel(device.trend, device.band).data());
}

QPushButton* button(const char* name, const QString& title) {
    auto* pushButton = new QPushButton(title);
    pushButton->setObjectName(QString::fromLatin1(name));
    return pushButton;
}

}  // namespace

BluetoothSection::BluetoothSection(UiContext& context)
    : context_(context), trackers_(context.model.bluetoothTrackers()) {
    buildSidebar();
    buildContent();
    buildInspector();
    refresher_ = std::make_unique<RefreshOnChange>(context.loop, trackers_.changed(), [this] { refresh(); });
    refresh();
}

BluetoothSection::~BluetoothSection() = default;

QWidget* BluetoothSection::sidebar() { return sidebar_; }
QWidget* BluetoothSection::content() { return content_; }
QWidget* BluetoothSection::inspector() { return inspector_; }

void BluetoothSection::buildSidebar() {
    sidebar_ = new QStackedWidget;
    noDevices_ = new EmptyState;
    noDevices_->setObjectName(QStringLiteral("bluetoothNoDevices"));
    list_ = new GroupedListModel(sidebar_);
    view_ = new QTreeView;
    view_->setObjectName(QStringLiteral("bluetoothDeviceList"));
    view_->setAccessibleName(QStringLiteral("Bluetooth devices"));
    view_->setModel(list_);
    view_->setItemDelegate(new SidebarRowDelegate(view_));
    view_->setHeaderHidden(true);
    view_->setRootIsDecorated(false);
    view_->setItemsExpandable(false);
    view_->setIndentation(0);
    view_->setFrameShape(QFrame::NoFrame);
    connect(list_, &QAbstractItemModel::rowsInserted, view_, [this](const QModelIndex& group, int first, int last) {
        if (group.isValid()) return;
        for (int row = first; row <= last; ++row) view_->expand(list_->index(row, 0));
    });
    connect(view_->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& current) {
        if (applyingSelection_) return;
        if (const SidebarRow* row = list_->row(current)) select(Uuid::parse(row->id.toStdString()));
    });
    sidebar_->addWidget(noDevices_);
    sidebar_->addWidget(view_);
}

void BluetoothSection::buildContent() {
    content_ = new QStackedWidget;
    contentPlaceholder_ = new EmptyState;
    contentPlaceholder_->setObjectName(QStringLiteral("bluetoothContentPlaceholder"));

    card_ = new QWidget;
    auto* cardLayout = new QVBoxLayout(card_);
    cardTitle_ = new QLabel;
    cardTitle_->setObjectName(QStringLiteral("bluetoothCardTitle"));
    cardTitle_->setTextFormat(Qt::PlainText);
    trackButton_ = button("bluetoothTrackButton", QStringLiteral("Track This Device"));
    auto* find = button("bluetoothFindButton", QStringLiteral("Find Nearby"));
    connect(trackButton_, &QPushButton::clicked, this, [this] {
        for (const auto& device : trackers_.devices())
            if (device.id == selected_) trackers_.track(device);
    });
    connect(find, &QPushButton::clicked, this, [this] {
        if (selected_) trackers_.startFinding(*selected_);
    });
    cardLayout->addWidget(cardTitle_);
    cardLayout->addWidget(trackButton_);
    cardLayout->addWidget(find);
    cardLayout->addWidget(wrappedText(QStringLiteral("Use the live Bluetooth signal to locate this device nearby."), true));
    lastSeenPlace_ = new EmptyState;
    lastSeenPlace_->setObjectName(QStringLiteral("bluetoothLastSeenPlace"));
    cardLayout->addWidget(lastSeenPlace_, 1);

    finder_ = new QWidget;
    finder_->setObjectName(QStringLiteral("bluetoothFinder"));
    auto* finderLayout = new QVBoxLayout(finder_);
    finderTrend_ = new QLabel;
    finderTrend_->setObjectName(QStringLiteral("bluetoothFinderTrend"));
    finderLastSeen_ = new QLabel;
    soundGuidance_ = new QCheckBox(QStringLiteral("Sound guidance"));
    soundGuidance_->setObjectName(QStringLiteral("bluetoothSoundGuidance"));
    connect(soundGuidance_, &QCheckBox::toggled, this, [this](bool on) { trackers_.setFinderSoundEnabled(on); });
    auto* stop = button("bluetoothStopFindingButton", QStringLiteral("Stop Finding"));
    connect(stop, &QPushButton::clicked, this, [this] { trackers_.stopFinding(); });
    finderLayout->addWidget(finderTrend_);
    finderLayout->addWidget(soundGuidance_);
    finderLayout->addWidget(finderLastSeen_);
    finderLayout->addWidget(stop);
    finderLayout->addWidget(wrappedText(QStringLiteral("Bluetooth signal indicates proximity, not an exact distance. "
                                                       "Walls, people and nearby objects can change the reading."),
                                        true));
    finderLayout->addStretch(1);

    content_->addWidget(contentPlaceholder_);
    content_->addWidget(card_);
    content_->addWidget(finder_);
}

void BluetoothSection::buildInspector() {
    inspector_ = new QStackedWidget;
    inspectorPlaceholder_ = new EmptyState;
    inspectorPlaceholder_->setContent(QStringLiteral("dot.radiowaves.left.and.right"),
                                      QStringLiteral("Select a Bluetooth device"),
                                      QStringLiteral("Choose a nearby device to see its signal and available actions."));
    auto* page = new QWidget;
    auto* layout = scrollingColumn(*page);
    kind_ = new QLabel;
    kind_->setObjectName(QStringLiteral("bluetoothKind"));
    auto* signal = new MetricGroup(QStringLiteral("Signal"));
    nearby_ = signal->addMetric(QStringLiteral("Nearby"), QStringLiteral("bluetoothNearby"));
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
    for (const auto& [seconds, words] : kDelays) delay_->addItem(QString::fromUtf8(words), seconds);
    connect(delay_, &QComboBox::activated, this, [this](int index) {
        if (selected_ && index >= 0) trackers_.setLossAlertDelay(delay_->itemData(index).toDouble(), *selected_);
    });
    tracking->addRow(QStringLiteral("Name"), name_);
    tracking->addRow(lossAlert_);
    tracking->addRow(QStringLiteral("Alert after"), delay_);
    tracking->addRow(wrappedText(QStringLiteral("The alarm is armed only after this Mac hears the device during the "
                                                "current scan. Bluetooth range and radio conditions can cause signal loss."),
                                 true));

    findButton_ = button("bluetoothInspectorFindButton", QStringLiteral("Find Nearby"));
    connect(findButton_, &QPushButton::clicked, this, [this] {
        if (trackers_.isFinding() && trackers_.trackedID() == selected_) {
            trackers_.stopFinding();
        } else if (selected_) {
            trackers_.startFinding(*selected_);
        }
    });
    inspectorTrackButton_ = button("bluetoothInspectorTrackButton", QStringLiteral("Track This Device"));
    connect(inspectorTrackButton_, &QPushButton::clicked, this, [this] {
        if (!selected_) return;
        for (const auto& device : trackers_.trackedDevices()) {
            if (device.id == *selected_) return trackers_.stopTracking(*selected_);
        }
        for (const auto& device : trackers_.devices())
            if (device.id == *selected_) trackers_.track(device);
    });
    layout->addWidget(kind_);
    layout->addWidget(signal);
    layout->addWidget(tracking);
    layout->addWidget(findButton_);
    layout->addWidget(inspectorTrackButton_);
    layout->addWidget(wrappedText(QStringLiteral("Corvane records the Mac's location when it hears a tracked device. "
                                                 "Bluetooth signal can show proximity while the device is nearby."),
                                  true));
    layout->addStretch(1);
    inspector_->addWidget(inspectorPlaceholder_);
    inspector_->addWidget(page);
}

void BluetoothSection::run(Command command) {
    if (command != Command::scan) return;
    trackers_.isScanning() ? trackers_.stopScanning() : trackers_.startScanning();
}

void BluetoothSection::activate() {
    if (!trackers_.isScanning()) trackers_.startScanning();
    const auto listed = [this](const Uuid& id) {
        const auto& tracked = trackers_.trackedDevices();
        const auto& nearby = trackers_.devices();
        return std::any_of(tracked.begin(), tracked.end(), [&](const auto& d) { return d.id == id; }) ||
               std::any_of(nearby.begin(), nearby.end(), [&](const auto& d) { return d.id == id; });
    };
    if ((!selected_ || !listed(*selected_)) && !trackers_.trackedDevices().empty()) {
        select(trackers_.trackedDevices().front().id);
    }
}

void BluetoothSection::deactivate() {
    if (trackers_.isFinding()) {
        trackers_.stopFinding();
    } else if (trackers_.isScanning()) {
        trackers_.stopScanning();
    }
    trackers_.setFinderSoundEnabled(false);
}

void BluetoothSection::select(std::optional<Uuid> id) {
    selected_ = id;
    refresh();
}

void BluetoothSection::refresh() {
    std::vector<SidebarGroup> groups;
    SidebarGroup tracked{QStringLiteral("tracked"), QStringLiteral("Tracked"), {}};
    for (const auto& device : trackers_.trackedDevices()) {
        const bool heard = std::any_of(trackers_.devices().begin(), trackers_.devices().end(),
                                       [&](const DiscoveredTracker& d) { return d.id == device.id; });
        SidebarRow row{text(device.id.string()), text(device.name),
                       heard ? QStringLiteral("dot.radiowaves.left.and.right")
                             : QStringLiteral("antenna.radiowaves.left.and.right.slash"),
                       QStringLiteral("Last seen ") + timeText(device.lastSeen), {}};
        if (device.latitude) row.badges.push_back({QStringLiteral("location.fill"), QStringLiteral("Last-seen location recorded")});
        if (device.lossAlertEnabled) row.badges.push_back({QStringLiteral("bell.badge.fill"), QStringLiteral("Signal-loss alert enabled")});
        tracked.rows.push_back(std::move(row));
    }
    SidebarGroup nearby{QStringLiteral("nearby"), QStringLiteral("Nearby"), {}};
    for (const auto& device : trackers_.devices()) {
        const bool finding = trackers_.isFinding() && trackers_.trackedID() == device.id;
        SidebarRow row{text(device.id.string()), text(device.name), QStringLiteral("dot.radiowaves.left.and.right"),
                       proximityText(device), {}};
        if (finding) row.badges.push_back({QStringLiteral("scope"), QStringLiteral("Currently finding")});
        nearby.rows.push_back(std::move(row));
    }
    if (!tracked.rows.empty()) groups.push_back(std::move(tracked));
    if (!nearby.rows.empty()) groups.push_back(std::move(nearby));
    const bool empty = groups.empty();
    noDevices_->setContent(QStringLiteral("dot.radiowaves.left.and.right"),
                           trackers_.isScanning() ? QStringLiteral("Looking for devices") : QStringLiteral("No Bluetooth devices found"),
                           QStringLiteral("Devices appear as the Mac hears them during this scan."));
    applyingSelection_ = true;
    list_->setGroups(std::move(groups));
    view_->setCurrentIndex(selected_ ? list_->indexOfRow(text(selected_->string())) : QModelIndex());
    applyingSelection_ = false;
    sidebar_->setCurrentWidget(empty ? static_cast<QWidget*>(noDevices_) : view_);
    refreshContent();
    refreshInspector();
    emit statusChanged();
}

BluetoothSection::Selected BluetoothSection::selectedDevice() const {
    Selected found;
    for (const auto& device : trackers_.devices())
        if (device.id == selected_) found.live = &device;
    for (const auto& device : trackers_.trackedDevices())
        if (device.id == selected_) found.tracked = &device;
    return found;
}

void BluetoothSection::refreshContent() {
    const auto [live, tracked] = selectedDevice();

    if (trackers_.isFinding()) {
        const auto now = context_.loop.now();
        const DiscoveredTracker* found = trackers_.trackedDevice();
        finderTrend_->setText(trackers_.isFinderSignalLost(now)
                                  ? QStringLiteral("Signal lost · Move around to find the signal again")
                                  : proximityText(*found));
        finderLastSeen_->setText(found ? QStringLiteral("Last seen ") + timeText(found->lastSeen) : QString());
        const QSignalBlocker blocker(soundGuidance_);
        soundGuidance_->setChecked(trackers_.finderSoundEnabled());
        content_->setCurrentWidget(finder_);
        return;
    }
    if (!live && !tracked) {
        const bool scanning = trackers_.isScanning();
        contentPlaceholder_->setContent(
            QStringLiteral("dot.radiowaves.left.and.right"),
            scanning ? QStringLiteral("Looking for Bluetooth devices") : QStringLiteral("Choose a Bluetooth device"),
            scanning ? QStringLiteral("Listening for Bluetooth devices nearby.")
                     : QStringLiteral("Select a nearby device in the sidebar."));
        content_->setCurrentWidget(contentPlaceholder_);
        return;
    }
    cardTitle_->setText(text(tracked ? tracked->name : live->name));
    trackButton_->setVisible(!tracked && live);
    lastSeenPlace_->setVisible(tracked != nullptr);
    if (tracked && tracked->latitude && tracked->longitude) {
        lastSeenPlace_->setContent(QStringLiteral("location.fill"), QStringLiteral("Last seen with this Mac"),
                                   QString::number(*tracked->latitude, 'f', 5) + QStringLiteral(", ") +
                                       QString::number(*tracked->longitude, 'f', 5));
    } else {
        lastSeenPlace_->setContent(QStringLiteral("location.slash"), QString(),
                                   QStringLiteral("Corvane is tracking this device. Its last-seen location will appear "
                                                  "after the Mac has a location fix and hears the device again."));
    }
    content_->setCurrentWidget(card_);
}

void BluetoothSection::refreshInspector() {
    const auto [live, tracked] = selectedDevice();
    inspector_->setCurrentIndex(live || tracked ? 1 : 0);
    if (!live && !tracked) return;
    kind_->setText(live && live->isMeshtastic ? QStringLiteral("Meshtastic over Bluetooth")
                                              : QStringLiteral("Bluetooth Low Energy device"));
    nearby_->setText(live ? QStringLiteral("Nearby") : QStringLiteral("Not currently nearby"));
    lastHeard_->setText(timeText(live ? live->lastSeen : tracked->lastSeen));
    lastSignal_->setText(QString::number(live ? live->rssi : tracked->lastRSSI) + QStringLiteral(" dBm"));
    proximity_->setText(live ? proximityText(*live) : QString());
    tracking_->setVisible(tracked != nullptr);
    if (tracked) {
        const QSignalBlocker nameBlocker(name_);
        const QSignalBlocker alertBlocker(lossAlert_);
        const QSignalBlocker delayBlocker(delay_);
        if (!name_->hasFocus()) name_->setText(text(tracked->name));
        lossAlert_->setChecked(tracked->lossAlertEnabled);
        int index = delay_->findData(tracked->lossAlertDelay);
        if (index < 0) {
            delay_->addItem(QString::number(tracked->lossAlertDelay) + QStringLiteral(" seconds"), tracked->lossAlertDelay);
            index = delay_->count() - 1;
        }
        delay_->setCurrentIndex(index);
    }
    findButton_->setText(trackers_.isFinding() && trackers_.trackedID() == selected_ ? QStringLiteral("Stop Finding")
                                                                                   : QStringLiteral("Find Nearby"));
    inspectorTrackButton_->setText(tracked ? QStringLiteral("Stop Tracking") : QStringLiteral("Track This Device"));
}

QString BluetoothSection::statusLine() const { return QStringLiteral("Bluetooth: ") + text(trackers_.state()); }

QString BluetoothSection::errorLine() const { return text(trackers_.errorMessage().value_or(std::string())); }

void BluetoothSection::dismissError() { trackers_.setErrorMessage(std::nullopt); }

}  // namespace corvane
