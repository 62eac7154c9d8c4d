// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/MeshtasticInspector.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QVBoxLayout>

#include "app/CorvaneModel.h"
#include "app/TrackExport.h"
#include "core/MeshMath.h"
#include "ui/EmptyState.h"
#include "ui/FormParts.h"
#include "ui/MetricGroup.h"
#include "ui/NodeText.h"
#include "ui/RadiusSlider.h"
#include "ui/SymbolIcon.h"
#include "ui/SymbolLabel.h"

namespace corvane {
namespace {

const std::vector<ComboChoice>& listedDelays() {
    static const std::vector<ComboChoice> kDelays = [] {
        std::vector<ComboChoice> delays;
        for (const int minutes : {15, 30, 60, 120, 360}) {
            const std::chrono::seconds delay = std::chrono::minutes(minutes);
            delays.push_back({QString::fromStdString(MeshSilenceRule::delayText(delay)), double(delay.count())});
        }
        return delays;
    }();
    return kDelays;
}

QString percent(double value) { return QString::number(value) + QStringLiteral(" %"); }

const std::vector<ComboChoice>& listedThresholds() {
    static const std::vector<ComboChoice> kThresholds = [] {
        std::vector<ComboChoice> thresholds;
        for (const double level : {10, 15, 20, 25, 30, 40, 50}) thresholds.push_back({percent(level), level});
        return thresholds;
    }();
    return kThresholds;
}

// A toggle with its picker at the row's end.
QWidget* toggleRow(QCheckBox* toggle, QComboBox* picker) {
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(toggle, 1);
    layout->addWidget(picker);
    return row;
}

QString suggestedTrackFile(const QString& name) {
    QString file = name;
    file.replace(QLatin1Char('/'), QLatin1Char('-'));
    // A name of dots would make a hidden file or none.
    if (file.trimmed().isEmpty() || file.startsWith(QLatin1Char('.'))) file.prepend(QStringLiteral("Track "));
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return QDir(folder.isEmpty() ? QDir::homePath() : folder).filePath(file + QStringLiteral(".gpx"));
}

const MeshNode* findNode(const CorvaneModel& model, std::optional<std::uint32_t> number) {
    if (!number) return nullptr;
    for (const auto& node : model.nodes())
        if (node.number == *number) return &node;
    return nullptr;
}

}  // namespace

MeshtasticInspector::MeshtasticInspector(CorvaneModel& model, EventLoop& loop, QWidget* parent)
    : QWidget(parent), model_(model),
      loop_(loop), pages_(new QStackedWidget), empty_(new EmptyState),
      chooseTrackFile_([](QWidget* owner, const QString& suggested) {
          return QFileDialog::getSaveFileName(owner, QStringLiteral("Export Track"), suggested,
                                              QStringLiteral("GPX tracks (*.gpx)"));
      }) {
    empty_->setObjectName(QStringLiteral("meshtasticInspectorEmpty"));
    empty_->setContent(QStringLiteral("sensor.tag.radiowaves.forward.fill"), QStringLiteral("Select a device"),
                       QStringLiteral("Choose a tracker to see its status and history."));
    auto* scroll = new QScrollArea;
    scroll->setObjectName(QStringLiteral("meshtasticInspectorDetails"));
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidget(buildDetails());
    pages_->addWidget(empty_);
    pages_->addWidget(scroll);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(pages_);
    refresh();
}

QWidget* MeshtasticInspector::buildDetails() {
    auto* details = new QWidget;
    auto* column = new QVBoxLayout(details);
    column->setContentsMargins(12, 12, 12, 12);
    column->setSpacing(10);

    headerIcon_ = new SymbolLabel(30);
    name_ = new QLabel;
    name_->setObjectName(QStringLiteral("inspectorName"));
    name_->setTextFormat(Qt::PlainText);
    name_->setWordWrap(true);
    QFont nameFont = name_->font();
    nameFont.setPointSizeF(nameFont.pointSizeF() * 1.3);
    nameFont.setBold(true);
    name_->setFont(nameFont);
    number_ = new QLabel;
    number_->setTextFormat(Qt::PlainText);
    number_->setForegroundRole(QPalette::PlaceholderText);
    auto* header = new QHBoxLayout;
    header->addWidget(headerIcon_, 0, Qt::AlignTop);
    auto* names = new QVBoxLayout;
    names->addWidget(name_);
    names->addWidget(number_);
    header->addLayout(names, 1);
    column->addLayout(header);

    auto* status = status_ = new MetricGroup(QStringLiteral("Status"));
    lastSeen_ = status->addMetric(QStringLiteral("Last seen"), QStringLiteral("lastSeenValue"));
    lastHeard_ = status->addMetric(QStringLiteral("Last heard"), QStringLiteral("lastHeardValue"));
    silence_ = new QWidget;
    auto* silenceIcon = new SymbolLabel(16);
    silenceIcon->setSymbol(QStringLiteral("antenna.radiowaves.left.and.right.slash"));
    silenceText_ = new QLabel;
    silenceText_->setObjectName(QStringLiteral("silenceValue"));
    silenceText_->setTextFormat(Qt::PlainText);
    silenceText_->setWordWrap(true);
    silenceText_->setToolTip(NodeText::silenceMeaning());
    silenceText_->setAccessibleDescription(NodeText::silenceMeaning());
    auto* silenceLayout = new QHBoxLayout(silence_);
    silenceLayout->setContentsMargins(0, 0, 0, 0);
    silenceLayout->addWidget(silenceIcon);
    silenceLayout->addWidget(silenceText_, 1);
    status->addRow(silence_);
    power_ = status->addMetric(QStringLiteral("Power"), QStringLiteral("powerValue"));
    signal_ = status->addMetric(QStringLiteral("Signal"), QStringLiteral("signalValue"));
    connection_ = status->addMetric(QStringLiteral("Connection"), QStringLiteral("connectionValue"));
    hardware_ = status->addMetric(QStringLiteral("Hardware"), QStringLiteral("hardwareValue"));
    column->addWidget(status);

    guarding_ = new MetricGroup(QStringLiteral("Guarding"));
    guarding_->setObjectName(QStringLiteral("guardingGroup"));
    profile_ = new QComboBox;
    profile_->setObjectName(QStringLiteral("profilePicker"));
    for (const auto profile : kAllGuardProfiles)
        profile_->addItem(QString::fromUtf8(title(profile).data(), static_cast<int>(title(profile).size())),
                          static_cast<int>(profile));
    connect(profile_, &QComboBox::currentIndexChanged, this,
            [this](int index) { model_.setGuardProfile(static_cast<GuardProfile>(profile_->itemData(index).toInt())); });
    guarding_->addRow(QStringLiteral("Profile"), profile_);
    area_ = new QWidget;
    areaIcon_ = new SymbolLabel(16);
    areaText_ = new QLabel;
    areaText_->setTextFormat(Qt::PlainText);
    areaText_->setObjectName(QStringLiteral("areaValue"));
    auto* areaLayout = new QHBoxLayout(area_);
    areaLayout->setContentsMargins(0, 0, 0, 0);
    areaLayout->addWidget(areaIcon_);
    areaLayout->addWidget(areaText_, 1);
    guarding_->addRow(area_);
    distance_ = guarding_->addMetric(QStringLiteral("Distance"), QStringLiteral("distanceValue"));
    alarm_ = guarding_->addMetric(QStringLiteral("Alarm"), QStringLiteral("alarmValue"));
    precision_ = new QLabel;
    precision_->setObjectName(QStringLiteral("precisionValue"));
    precision_->setWordWrap(true);
    guarding_->addRow(QStringLiteral("Precision"), precision_);
    radius_ = new RadiusSlider(150, QStringLiteral("Alert radius"));
    radius_->setObjectName(QStringLiteral("alertRadius"));
    connect(radius_, &RadiusSlider::radiusChosen, this, [this](double metres) { model_.setParkingRadius(metres); });
    guarding_->addRow(QStringLiteral("Alert radius"), radius_);
    mark_ = new QPushButton;
    mark_->setObjectName(QStringLiteral("markButton"));
    connect(mark_, &QPushButton::clicked, this, [this] { model_.markGuardedPosition(); });
    clearMark_ = new QPushButton(QStringLiteral("Clear"));
    clearMark_->setObjectName(QStringLiteral("clearMarkButton"));
    connect(clearMark_, &QPushButton::clicked, this, [this] { model_.clearParking(); });
    stopGuarding_ = new QPushButton(QStringLiteral("Stop Guarding"));
    stopGuarding_->setObjectName(QStringLiteral("stopGuardingButton"));
    connect(stopGuarding_, &QPushButton::clicked, this, [this] { model_.clearGuardedDevice(); });
    auto* markRow = new QWidget;
    auto* markLayout = new QHBoxLayout(markRow);
    markLayout->setContentsMargins(0, 0, 0, 0);
    markLayout->addWidget(mark_);
    markLayout->addWidget(clearMark_);
    markLayout->addStretch(1);
    guarding_->addRow(markRow);
    guarding_->addRow(stopGuarding_);
    column->addWidget(guarding_);

    position_ = new MetricGroup(QStringLiteral("Latest position"));
    position_->setObjectName(QStringLiteral("positionGroup"));
    latitude_ = position_->addMetric(QStringLiteral("Latitude"), QStringLiteral("latitudeValue"));
    longitude_ = position_->addMetric(QStringLiteral("Longitude"), QStringLiteral("longitudeValue"));
    received_ = position_->addMetric(QStringLiteral("Received"), QStringLiteral("receivedValue"));
    recorded_ = position_->addMetric(QStringLiteral("Recorded points"), QStringLiteral("recordedValue"));
    column->addWidget(position_);
    column->addWidget(buildAlerts());

    message_ = new QPushButton(SymbolIcon::icon(QStringLiteral("message")), QStringLiteral("Message"));
    message_->setObjectName(QStringLiteral("inspectorMessageButton"));
    connect(message_, &QPushButton::clicked, this, [this] { emit messageRequested(shown_); });
    guard_ = new QPushButton(SymbolIcon::icon(QStringLiteral("shield.checkered")), QStringLiteral("Guard This Device"));
    guard_->setObjectName(QStringLiteral("inspectorGuardButton"));
    connect(guard_, &QPushButton::clicked, this, &MeshtasticInspector::guardSelected);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(message_);
    buttons->addWidget(guard_);
    buttons->addStretch(1);
    column->addLayout(buttons);
    exportTrack_ = new QPushButton(QStringLiteral("Export Track…"));
    exportTrack_->setObjectName(QStringLiteral("exportTrackButton"));
    connect(exportTrack_, &QPushButton::clicked, this, &MeshtasticInspector::exportTrack);
    column->addWidget(exportTrack_, 0, Qt::AlignLeft);
    column->addStretch(1);
    return details;
}

QWidget* MeshtasticInspector::buildAlerts() {
    auto* alerts = new MetricGroup(QStringLiteral("Alerts"));
    alerts->setObjectName(QStringLiteral("alertsGroup"));
    auto& health = model_.meshHealth();
    silentAlert_ = new QCheckBox(QStringLiteral("Alert when silent"));
    silentAlert_->setObjectName(QStringLiteral("silentAlertToggle"));
    silenceDelay_ = new QComboBox;
    silenceDelay_->setObjectName(QStringLiteral("silenceDelayPicker"));
    silenceDelay_->setAccessibleName(QStringLiteral("Alert after"));
    const auto chosenDelay = [this] {
        return std::chrono::seconds(static_cast<std::int64_t>(silenceDelay_->currentData().toDouble()));
    };
    connect(silentAlert_, &QCheckBox::toggled, this, [this, &health, chosenDelay](bool on) {
        health.setSilenceDelay(shown_, on ? std::optional(chosenDelay()) : std::nullopt);
    });
    connect(silenceDelay_, &QComboBox::activated, this,
            [this, &health, chosenDelay] { health.setSilenceDelay(shown_, chosenDelay()); });
    alerts->addRow(toggleRow(silentAlert_, silenceDelay_));

    batteryAlert_ = new QCheckBox(QStringLiteral("Alert on low battery"));
    batteryAlert_->setObjectName(QStringLiteral("batteryAlertToggle"));
    batteryThreshold_ = new QComboBox;
    batteryThreshold_->setObjectName(QStringLiteral("batteryThresholdPicker"));
    batteryThreshold_->setAccessibleName(QStringLiteral("Alert at or below"));
    const auto chosenThreshold = [this] { return static_cast<std::uint32_t>(batteryThreshold_->currentData().toDouble()); };
    connect(batteryAlert_, &QCheckBox::toggled, this, [this, &health, chosenThreshold](bool on) {
        health.setBatteryThreshold(shown_, on ? std::optional(chosenThreshold()) : std::nullopt);
    });
    connect(batteryThreshold_, &QComboBox::activated, this,
            [this, &health, chosenThreshold] { health.setBatteryThreshold(shown_, chosenThreshold()); });
    alerts->addRow(toggleRow(batteryAlert_, batteryThreshold_));
    // The guard's own silence alert is on without the toggle; say so, or the
    // unticked box reads as "no alert if the bicycle goes quiet".
    guardSilenceNote_ = wrappedText({}, true);
    guardSilenceNote_->setObjectName(QStringLiteral("guardSilenceNote"));
    alerts->addRow(guardSilenceNote_);
    alertsGroup_ = alerts;
    return alerts;
}

void MeshtasticInspector::refreshAlerts() {
    const auto& health = model_.meshHealth();
    const auto delay = health.silenceDelay(shown_);
    const double delayShown = double((delay ? *delay : MeshHealthWatch::kDefaultSilenceDelay).count());
    const auto threshold = health.batteryThreshold(shown_);
    const double thresholdShown = threshold.value_or(MeshHealthWatch::kDefaultBatteryThreshold);
    const QSignalBlocker silentBlocker(silentAlert_);
    const QSignalBlocker batteryBlocker(batteryAlert_);
    silentAlert_->setChecked(delay.has_value());
    silenceDelay_->setEnabled(delay.has_value());
    showChoices(*silenceDelay_, shownDelays_,
                choicesWith(listedDelays(), delayShown,
                            QString::fromStdString(MeshSilenceRule::delayText(std::chrono::seconds(std::int64_t(delayShown))))),
                delayShown);
    batteryAlert_->setChecked(threshold.has_value());
    batteryThreshold_->setEnabled(threshold.has_value());
    const bool guardWatches = model_.guardedNodeID() == shown_ && health.guardSilenceAlert();
    alertsGroup_->form()->setRowVisible(guardSilenceNote_, guardWatches);
    if (guardWatches)
        guardSilenceNote_->setText(
            QStringLiteral("While the guard is armed, Corvane also alerts after %1 of silence.")
                .arg(QString::fromStdString(MeshSilenceRule::delayText(MeshSilenceRule::guardedDelay(model_.guardProfile())))));
    showChoices(*batteryThreshold_, shownThresholds_, choicesWith(listedThresholds(), thresholdShown, percent(thresholdShown)),
                thresholdShown);
}

void MeshtasticInspector::exportTrack() {
    const std::uint32_t node = shown_;
    const std::string name = model_.displayName(node);
    const QString path = chooseTrackFile_(this, suggestedTrackFile(QString::fromStdString(name)));
    if (path.isEmpty()) return;
    const auto written = TrackExport::write(QFile::encodeName(path).toStdString(), name, node, model_.history());
    if (!written) model_.setErrorMessage(written.error());
}

void MeshtasticInspector::guardSelected() {
    if (const MeshNode* node = findNode(model_, shown_)) model_.setGuarded(*node);
}

void MeshtasticInspector::refresh() {
    const MeshNode* node = findNode(model_, model_.selectedNodeID());
    pages_->setCurrentIndex(node ? 1 : 0);
    if (!node) return;
    shown_ = node->number;
    const bool guarded = model_.guardedNodeID() == node->number;
    const bool base = model_.localNodeID() == node->number;

    headerIcon_->setSymbol(guarded ? QStringLiteral("bicycle")
                           : base  ? QStringLiteral("cable.connector")
                                   : QStringLiteral("sensor.tag.radiowaves.forward.fill"));
    name_->setText(QString::fromStdString(model_.displayName(node->number)));
    number_->setText(NodeText::hexNumber(node->number));
    lastSeen_->setText(node->lastSeen ? NodeText::dateTime(*node->lastSeen) : QStringLiteral("Not reported"));
    const QString heard = NodeText::lastHeard(node->number, model_, loop_.now());
    lastHeard_->setText(heard.isEmpty() ? QStringLiteral("Not heard yet") : heard);
    const QString silence = NodeText::silence(node->number, model_);
    silenceText_->setText(silence);
    status_->form()->setRowVisible(silence_, !silence.isEmpty());
    power_->setText(NodeText::power(*node));
    signal_->setText(NodeText::signal(*node));
    connection_->setText(NodeText::connection(*node, model_, loop_.now()));
    hardware_->setText(node->hardware.empty() ? QStringLiteral("Not reported") : QString::fromStdString(node->hardware));

    guarding_->setVisible(guarded);
    if (guarded) {
        {
            const QSignalBlocker blocker(profile_);
            profile_->setCurrentIndex(profile_->findData(static_cast<int>(model_.guardProfile())));
        }
        const auto& parked = model_.parkedPosition();
        const bool measurable = parked && node->position;
        area_->setVisible(measurable);
        distance_->setText(parked ? QStringLiteral("No position yet") : QStringLiteral("Not marked"));
        if (measurable) {
            const double distance = MeshMath::distanceMeters(*parked, *node->position);
            const bool outside = distance > model_.parkingRadius();
            areaIcon_->setSymbol(outside ? QStringLiteral("exclamationmark.triangle.fill")
                                         : QStringLiteral("checkmark.shield.fill"));
            areaText_->setText(outside ? QStringLiteral("Outside marked area") : QStringLiteral("Inside marked area"));
            distance_->setText(NodeText::metres(distance));
        }
        alarm_->setText(QString::fromStdString(model_.parkingStatus()));
        const auto precision = model_.guardPrecision();
        precision_->setText(QString::fromStdString(precision.value_or("")));
        guarding_->form()->setRowVisible(precision_, precision.has_value());
        radius_->setRadius(model_.parkingRadius());
        mark_->setText(parked ? QStringLiteral("Update Marked Position") : QStringLiteral("Mark Current Position"));
        clearMark_->setEnabled(parked.has_value());
    }

    const auto& history = model_.history();
    const auto points =
        std::count_if(history.begin(), history.end(), [&](const MeshPosition& p) { return p.nodeNumber == node->number; });
    position_->setVisible(node->position.has_value());
    if (node->position) {
        latitude_->setText(QString::number(node->position->latitude, 'f', 5));
        longitude_->setText(QString::number(node->position->longitude, 'f', 5));
        received_->setText(NodeText::dateTime(node->position->timestamp));
        recorded_->setText(QString::number(points));
    }
    refreshAlerts();
    exportTrack_->setEnabled(points > 0);
    guard_->setEnabled(!guarded);
}

}  // namespace corvane
