// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/LocalNetworkInspector.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <algorithm>

#include "app/LocalNetworkBrowser.h"
#include "ui/ComboChoices.h"
#include "ui/EmptyState.h"
#include "ui/FormParts.h"
#include "ui/LocalNetworkText.h"
#include "ui/MetricGroup.h"
#include "ui/SymbolLabel.h"

namespace corvane {
namespace {

const std::vector<ComboChoice>& listedDelays() {
    static const std::vector<ComboChoice> kDelays{
        {QStringLiteral("5 minutes"), 300.0},   {QStringLiteral("10 minutes"), 600.0},
        {QStringLiteral("15 minutes"), 900.0},  {QStringLiteral("30 minutes"), 1800.0},
        {QStringLiteral("1 hour"), 3600.0},     {QStringLiteral("1 day"), 86400.0}};
    return kDelays;
}


SymbolLabel* iconLabel(const QString& symbol, int size) {
    auto* label = new SymbolLabel(size);
    label->setSymbol(symbol);
    return label;
}

}  // namespace

LocalNetworkInspector::LocalNetworkInspector(LocalNetworkBrowser& browser, QWidget* parent)
    : PlaceholderStack(parent), browser_(browser), details_(new QWidget) {
    placeholder().setObjectName(QStringLiteral("localNetworkInspectorEmpty"));
    placeholder().setContent(QStringLiteral("network"), QStringLiteral("Select a Local Network device"),
                       QStringLiteral("Choose a device to see when it was last available and which services it announced."));
    details_->setObjectName(QStringLiteral("localNetworkInspectorDetails"));
    buildDetails(*scrollingColumn(*details_));
    addWidget(details_);
}

void LocalNetworkInspector::buildDetails(QVBoxLayout& column) {
    icon_ = new SymbolLabel(32);
    name_ = wrappedText({}, false);
    name_->setObjectName(QStringLiteral("localNetworkInspectorName"));
    QFont nameFont = name_->font();
    nameFont.setPointSizeF(nameFont.pointSizeF() * 1.3);
    nameFont.setBold(true);
    name_->setFont(nameFont);
    auto* header = new QHBoxLayout;
    header->addWidget(icon_, 0, Qt::AlignTop);
    header->addWidget(name_, 1);
    column.addLayout(header);

    auto* status = new MetricGroup(QStringLiteral("Status"));
    state_ = status->addMetric(QStringLiteral("State"), QStringLiteral("localNetworkStateValue"));
    lastSeen_ = status->addMetric(QStringLiteral("Last seen"), QStringLiteral("localNetworkLastSeenValue"));
    domain_ = status->addMetric(QStringLiteral("Domain"), QStringLiteral("localNetworkDomainValue"));
    interfaces_ = status->addMetric(QStringLiteral("Interfaces"), QStringLiteral("localNetworkInterfacesValue"));
    column.addWidget(status);

    auto* tracking = new MetricGroup(QStringLiteral("Tracking"));
    track_ = new QPushButton(QStringLiteral("Track This Device"));
    track_->setObjectName(QStringLiteral("localNetworkTrackButton"));
    track_->setDefault(true);
    connect(track_, &QPushButton::clicked, this, [this] { browser_.track(shown_); });
    tracking->addRow(track_);
    trackedControls_ = new QWidget;
    auto* controls = new QFormLayout(trackedControls_);
    controls->setContentsMargins(0, 0, 0, 0);
    alert_ = new QCheckBox(QStringLiteral("Alert when this device leaves the network"));
    alert_->setObjectName(QStringLiteral("localNetworkAlertToggle"));
    connect(alert_, &QCheckBox::toggled, this, [this](bool on) { browser_.setLossAlert(on, shown_); });
    controls->addRow(alert_);
    delay_ = new QComboBox;
    delay_->setObjectName(QStringLiteral("localNetworkAlertAfter"));
    delay_->setAccessibleName(QStringLiteral("Alert after"));
    connect(delay_, &QComboBox::currentIndexChanged, this,
            [this](int index) { browser_.setLossAlertDelay(delay_->itemData(index).toDouble(), shown_); });
    controls->addRow(QStringLiteral("Alert after"), delay_);
    controls->addRow(wrappedText(QStringLiteral("The alarm is armed only after this Mac sees the device online. Corvane "
                                                "sends one alert when it leaves and one update when it returns."),
                                 true));
    monitor_ = new QLabel;
    monitor_->setObjectName(QStringLiteral("localNetworkMonitorValue"));
    monitor_->setTextFormat(Qt::PlainText);
    controls->addRow(QStringLiteral("Monitor"), monitor_);
    monitorRow_ = controls->labelForField(monitor_);
    auto* stop = new QPushButton(QStringLiteral("Stop Tracking"));
    stop->setObjectName(QStringLiteral("localNetworkStopTrackingButton"));
    connect(stop, &QPushButton::clicked, this, [this] { browser_.stopTracking(shown_); });
    controls->addRow(stop);
    tracking->addRow(trackedControls_);
    column.addWidget(tracking);

    services_ = new MetricGroup(QStringLiteral("Services"));
    services_->setObjectName(QStringLiteral("localNetworkServices"));
    auto* rows = new QWidget;
    serviceRows_ = new QVBoxLayout(rows);
    serviceRows_->setContentsMargins(0, 0, 0, 0);
    services_->addRow(rows);
    column.addWidget(services_);

    auto* forget = new QPushButton(QStringLiteral("Forget Device"));
    forget->setObjectName(QStringLiteral("localNetworkForgetButton"));
    connect(forget, &QPushButton::clicked, this, [this] {
        browser_.forget(shown_);
        emit forgotten();
    });
    column.addWidget(forget, 0, Qt::AlignLeft);
    column.addStretch(1);
}

void LocalNetworkInspector::showServices(const std::vector<std::string>& serviceTypes) {
    if (serviceTypes == shownServices_) return;
    shownServices_ = serviceTypes;
    while (QLayoutItem* item = serviceRows_->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    for (const auto& type : serviceTypes) {
        auto* row = new QWidget;
        auto* layout = new QHBoxLayout(row);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(iconLabel(QStringLiteral("bonjour"), 16));
        auto* name = new QLabel(QString::fromStdString(LocalNetworkDevice::readableServiceName(type)));
        name->setTextFormat(Qt::PlainText);
        name->setToolTip(QString::fromStdString(type));
        layout->addWidget(name, 1);
        serviceRows_->addWidget(row);
    }
}

void LocalNetworkInspector::refresh(const LocalNetworkDevice* device) {
    if (!device) return showPlaceholder();
    setCurrentWidget(details_);
    shown_ = device->id;
    icon_->setSymbol(LocalNetworkText::kindSymbol(*device));
    name_->setText(QString::fromStdString(device->name));
    state_->setText(device->isOnline ? QStringLiteral("Available now") : QStringLiteral("Seen before"));
    lastSeen_->setText(LocalNetworkText::lastSeen(*device));
    domain_->setText(QString::fromStdString(device->domain));
    QStringList interfaces;
    for (const auto& name : device->interfaceNames) interfaces << QString::fromStdString(name);
    interfaces_->setText(interfaces.isEmpty() ? QStringLiteral("Not reported") : interfaces.join(QStringLiteral(", ")));

    track_->setVisible(!device->isTracked);
    trackedControls_->setVisible(device->isTracked);
    {
        const QSignalBlocker blocker(alert_);
        alert_->setChecked(device->lossAlertEnabled);
    }
    showChoices(*delay_, shownDelays_, choicesWith(listedDelays(), device->lossAlertDelay,
                                                      QString::fromStdString(LocalNetworkBrowser::durationText(device->lossAlertDelay))), device->lossAlertDelay);
    monitor_->setVisible(device->lossAlertEnabled);
    monitorRow_->setVisible(device->lossAlertEnabled);
    monitor_->setText(QString::fromStdString(browser_.monitoringStatus(*device)));
    showServices(device->serviceTypes);
}

}  // namespace corvane
