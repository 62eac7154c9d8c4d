// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/LocalNetworkSidebar.h"

#include "app/LocalNetworkBrowser.h"
#include "ui/EmptyState.h"
#include "ui/LocalNetworkText.h"

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
    : DeviceListSidebar(QStringLiteral("localNetworkDeviceList"), QStringLiteral("Local Network devices"), parent),
      browser_(browser) {
    placeholder().setObjectName(QStringLiteral("localNetworkSidebarEmpty"));
}

void LocalNetworkSidebar::refresh(const QString& selectedID) {
    if (browser_.isScanning()) {
        placeholder().setContent(QStringLiteral("network"), QStringLiteral("Looking for devices"),
                                 QStringLiteral("Bonjour devices will appear as they announce services."));
    } else {
        placeholder().setContent(QStringLiteral("network"), QStringLiteral("No Local Network devices"),
                                 QStringLiteral("Start a scan to listen for devices on this network."));
    }
    showGroups(deviceGroups(browser_.devices()), selectedID);
}

}  // namespace corvane
