// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/MeshtasticInspector.h"

#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "app/CorvaneModel.h"
#include "core/MeshMath.h"
#include "ui/EmptyState.h"
#include "ui/MetricGroup.h"
#include "ui/NodeText.h"
#include "ui/RadiusSlider.h"
#include "ui/SymbolIcon.h"
#include "ui/SymbolLabel.h"

namespace corvane {
namespace {


const MeshNode* findNode(const CorvaneModel& model, std::optional<std::uint32_t> number) {
    if (!number) return nullptr;
    for (const auto& node : model.nodes())
        if (node.number == *number) return &node;
    return nullptr;
}

}  // namespace

MeshtasticInspector::MeshtasticInspector(CorvaneModel& model, EventLoop& loop, QWidget* parent)
    : QWidget(parent), model_(model),
      loop_(loop), pages_(new QStackedWidget), empty_(new EmptyState) {
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

    auto* status = new MetricGroup(QStringLiteral("Status"));
    lastSeen_ = status->addMetric(QStringLiteral("Last seen"), QStringLiteral("lastSeenValue"));
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
    column->addStretch(1);
    return details;
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
        radius_->setRadius(model_.parkingRadius());
        mark_->setText(parked ? QStringLiteral("Update Marked Position") : QStringLiteral("Mark Current Position"));
        clearMark_->setEnabled(parked.has_value());
    }

    position_->setVisible(node->position.has_value());
    if (node->position) {
        latitude_->setText(QString::number(node->position->latitude, 'f', 5));
        longitude_->setText(QString::number(node->position->longitude, 'f', 5));
        received_->setText(NodeText::dateTime(node->position->timestamp));
        const auto& history = model_.history();
        const auto points =
            std::count_if(history.begin(), history.end(), [&](const MeshPosition& p) { return p.nodeNumber == node->number; });
        recorded_->setText(QString::number(points));
    }
    guard_->setEnabled(!guarded);
}

}  // namespace corvane
