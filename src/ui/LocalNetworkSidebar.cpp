// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/LocalNetworkSidebar.h"

#include <QStackedWidget>
#include <QTreeView>
#include <QVBoxLayout>

#include "app/LocalNetworkBrowser.h"
#include "ui/EmptyState.h"
#include "ui/GroupedListModel.h"
#include "ui/LocalNetworkText.h"
#include "ui/SidebarRowDelegate.h"

namespace corvane {
namespace {

SidebarRow deviceRow(const LocalNetworkDevice& device) {
    SidebarRow row;
    row.id = QString::fromStdString(device.id);
    row.title = QString::fromStdString(device.name);
    row.symbol = device.isOnline ? LocalNetworkText::kindSymbol(device) : QStringLiteral("network.slash");
    row.caption = device.isOnline ? QStringLiteral("Available now") : "Last seen " + LocalNetworkText::lastSeen(device);
    if (device.lossAlertEnabled) {
        row.badges.push_back({QStringLiteral("bell.badge.fill"), QStringLiteral("Network departure alert enabled")});
    }
    if (device.isTracked) row.badges.push_back({QStringLiteral("checkmark.circle.fill"), QStringLiteral("Tracked")});
    return row;
}

std::vector<SidebarGroup> deviceGroups(const std::vector<LocalNetworkDevice>& devices) {
    std::vector<SidebarGroup> groups{{QStringLiteral("tracked"), QStringLiteral("Tracked"), {}},
                                     {QStringLiteral("available"), QStringLiteral("Available now"), {}},
                                     {QStringLiteral("seen"), QStringLiteral("Seen before"), {}}};
    for (const auto& device : devices) {
        groups[device.isTracked ? 0 : device.isOnline ? 1 : 2].rows.push_back(deviceRow(device));
    }
    std::erase_if(groups, [](const SidebarGroup& group) { return group.rows.empty(); });
    return groups;
}

}  // namespace

LocalNetworkSidebar::LocalNetworkSidebar(LocalNetworkBrowser& browser, QWidget* parent)
    : QWidget(parent),
      browser_(browser),
      list_(new GroupedListModel(this)),
      view_(new QTreeView),
      pages_(new QStackedWidget),
      empty_(new EmptyState) {
    empty_->setObjectName(QStringLiteral("localNetworkSidebarEmpty"));
    setUpSidebarView(*view_, *list_, QStringLiteral("localNetworkDeviceList"), QStringLiteral("Local Network devices"));
    connect(view_->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& current) {
        if (applyingSelection_) return;
        if (const SidebarRow* row = list_->row(current)) emit selected(row->id);
    });
    pages_->addWidget(empty_);
    pages_->addWidget(view_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(pages_);
}

void LocalNetworkSidebar::refresh(const QString& selectedID) {
    const auto& devices = browser_.devices();
    pages_->setCurrentIndex(devices.empty() ? 0 : 1);
    if (browser_.isScanning()) {
        empty_->setContent(QStringLiteral("network"), QStringLiteral("Looking for devices"),
                           QStringLiteral("Bonjour devices will appear as they announce services."));
    } else {
        empty_->setContent(QStringLiteral("network"), QStringLiteral("No Local Network devices"),
                           QStringLiteral("Start a scan to listen for devices on this network."));
    }
    list_->setGroups(deviceGroups(devices));

    // The section's selection, shown without announcing it back.
    const QModelIndex index = selectedID.isEmpty() ? QModelIndex() : list_->indexOfRow(selectedID);
    auto* selection = view_->selectionModel();
    if (index != selection->currentIndex() || (index.isValid() && !selection->isSelected(index))) {
        applyingSelection_ = true;
        if (index.isValid()) {
            selection->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
        } else {
            selection->clear();
        }
        applyingSelection_ = false;
    }
}

}  // namespace corvane
