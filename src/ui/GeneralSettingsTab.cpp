// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/GeneralSettingsTab.h"

#include <algorithm>

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include "app/CorvaneModel.h"
#include "ui/ComboChoices.h"
#include "ui/FormParts.h"
#include "ui/NetworkRadioDialog.h"
#include "ui/MetricGroup.h"
#include "ui/RadiusSlider.h"
#include "ui/UiContext.h"

namespace corvane {
namespace {


}  // namespace

GeneralSettingsTab::GeneralSettingsTab(UiContext& context, QWidget* parent)
    : QWidget(parent),
      context_(context),
      sections_(nullptr),
      bridge_(nullptr),
      port_(nullptr),
      ports_(new QComboBox),
      connect_(new QPushButton),
      removeNetwork_(new QPushButton(QStringLiteral("Remove Network Radio"))),
      radius_(new RadiusSlider(220, QStringLiteral("Movement radius"))) {
    sections_ = scrollingColumn(*this);
    sections_->addStretch(1);

    auto* connection = new MetricGroup(QStringLiteral("Connection"));
    bridge_ = connection->addMetric(QStringLiteral("Meshtastic Bridge"), QStringLiteral("bridgeStatusValue"));
    port_ = connection->addMetric(QStringLiteral("USB radio"), QStringLiteral("usbRadioValue"));
    ports_->setObjectName(QStringLiteral("availableRadios"));
    connection->addRow(QStringLiteral("Available radios"), ports_);
    connect(ports_, &QComboBox::currentIndexChanged, this,
            [this](int index) { context_.model.setSelectedPort(ports_->itemData(index).toString().toStdString()); });
    auto* refreshButton = new QPushButton(QStringLiteral("Refresh"));
    refreshButton->setObjectName(QStringLiteral("refreshPortsButton"));
    connect(refreshButton, &QPushButton::clicked, this, [this] { context_.model.refreshPorts(); });
    auto* addNetwork = new QPushButton(QStringLiteral("Add Network Radio…"));
    addNetwork->setObjectName(QStringLiteral("addNetworkRadioButton"));
    connect(addNetwork, &QPushButton::clicked, this, [this] {
        auto* dialog = new NetworkRadioDialog(this);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        connect(dialog, &QDialog::accepted, this, [this, dialog] { context_.model.addNetworkRadio(dialog->port()); });
        dialog->open();
    });
    removeNetwork_->setObjectName(QStringLiteral("removeNetworkRadioButton"));
    connect(removeNetwork_, &QPushButton::clicked, this,
            [this] { context_.model.removeNetworkRadio(context_.model.selectedPort()); });
    connect_->setObjectName(QStringLiteral("connectButton"));
    connect(connect_, &QPushButton::clicked, this, [this] {
        const std::string& selected = context_.model.selectedPort();
        context_.model.connect(selected.empty() ? std::nullopt : std::optional<std::string>(selected), true);
    });
    auto* disconnectButton = new QPushButton(QStringLiteral("Disconnect"));
    disconnectButton->setObjectName(QStringLiteral("disconnectButton"));
    connect(disconnectButton, &QPushButton::clicked, this, [this] { context_.model.disconnect(); });
    auto* buttons = new QWidget;
    auto* buttonRow = new QHBoxLayout(buttons);
    buttonRow->setContentsMargins(0, 0, 0, 0);
    buttonRow->addWidget(refreshButton);
    buttonRow->addWidget(connect_);
    buttonRow->addWidget(disconnectButton);
    buttonRow->addWidget(addNetwork);
    buttonRow->addWidget(removeNetwork_);
    buttonRow->addStretch(1);
    connection->addRow(buttons);
    connection->addRow(wrappedText(QStringLiteral(
        "USB radio traffic is handled by the separately installed Halvo Meshtastic Bridge. Corvane exchanges "
        "versioned JSON messages with it and never loads Meshtastic protocol code into this process."), true));
    addSection({}, connection);

    auto* alert = new MetricGroup(QStringLiteral("Position alert"));
    radius_->setObjectName(QStringLiteral("movementRadius"));
    connect(radius_, &RadiusSlider::radiusChosen, this, [this](double metres) { context_.model.setParkingRadius(metres); });
    alert->addRow(QStringLiteral("Movement radius"), radius_);
    alert->addRow(wrappedText(QStringLiteral("A notification is shown after two new positions place the guarded device "
                                      "outside this radius. The Mac and its Meshtastic radio must be running and "
                                      "connected."), true));
    addSection({}, alert);

    refresher_ = std::make_unique<RefreshOnChange>(context.loop, context.model.changed(), [this] { refresh(); });
    refresh();
}

void GeneralSettingsTab::addSection(const QString& title, QWidget* body) {
    QWidget* section = body;
    if (!title.isEmpty()) {
        auto* group = new MetricGroup(title);
        group->addRow(body);
        section = group;
    }
    // Before the closing stretch.
    sections_->insertWidget(sections_->count() - 1, section);
}

void GeneralSettingsTab::pageShown() {
    bridge_->setText(QString::fromStdString(MeshRadio::bridgeStatus()));
    refresh();
}

void GeneralSettingsTab::refresh() {
    const auto& model = context_.model;
    port_->setText(model.connectedPort() ? QString::fromStdString(*model.connectedPort()) : QStringLiteral("Not connected"));
    std::vector<ComboChoice> choices{{QStringLiteral("Choose a radio"), QString()}};
    const QString selected = QString::fromStdString(model.selectedPort());
    bool listed = selected.isEmpty();
    for (const auto& port : model.availablePorts()) {
        choices.emplace_back(QString::fromStdString(port), QString::fromStdString(port));
        listed = listed || choices.back().second == selected;
    }
    if (!listed) choices.emplace_back(selected, selected);
    showChoices(*ports_, shownPorts_, std::move(choices), selected);
    const auto radios = model.networkRadios();
    removeNetwork_->setEnabled(std::find(radios.begin(), radios.end(), model.selectedPort()) != radios.end());
    connect_->setText(model.connectedPort() ? QStringLiteral("Reconnect") : QStringLiteral("Connect"));
    radius_->setRadius(model.parkingRadius());
}

}  // namespace corvane
