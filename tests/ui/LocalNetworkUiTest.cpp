// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's Local Network section driven through its widgets, over
// the real model and browser on virtual time with the fake service browser.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QToolButton>
#include <QTreeView>

#include "ui/EmptyState.h"
#include "ui/GroupedListModel.h"
#include "ui/LocalNetworkSidebar.h"

#include "UiFixture.h"

namespace corvane {
namespace {

class LocalNetworkUiTest : public UiFixture {
protected:
    LocalNetworkBrowser& browser() { return model().localNetwork(); }
    MainWindow& openLocalNetwork() {
        start();
        defaults_.setString("main.selectedNetwork", "Local Network");
        return openWindow();
    }
    void announce(const std::string& type, std::vector<std::string> names) {
        std::vector<BrowsedService> results;
        for (auto& name : names) results.push_back({std::move(name), type, "local.", std::string("eth0")});
        services_.deliver(type, std::move(results));
        settle();
    }
    // "group: title (symbol)" for every row, in list order.
    std::vector<std::string> rows() {
        std::vector<std::string> shown;
        for (const auto& group : find<LocalNetworkSidebar>("").listModel().groups()) {
            for (const auto& row : group.rows) {
                shown.push_back((group.title + ": " + row.title + " (" + row.symbol + ")").toStdString());
            }
        }
        return shown;
    }
    void selectRow(const std::string& id) {
        auto& view = find<QTreeView>("localNetworkDeviceList");
        view.setCurrentIndex(static_cast<GroupedListModel&>(*view.model()).indexOfRow(QString::fromStdString(id)));
        settle();
    }
};

TEST_F(LocalNetworkUiTest, TheScanningSectionsScanOnlyWhileShownAndScanToggles) {
    start();
    bluetooth_.central.report(BluetoothCentralState::poweredOn);
    auto& window = openWindow();
    auto& scan = find<QAction>("scanAction");
    const std::vector<std::tuple<NetworkSection, const char*, std::function<bool()>>> sections{
        {NetworkSection::bluetooth, "bluetoothScanButton", [&] { return bluetooth_.central.scanning; }},
        {NetworkSection::localNetwork, "localNetworkScanButton", [&] { return browser().isScanning(); }}};
    for (const auto& [section, buttonName, scanning] : sections) {
        SCOPED_TRACE(title(section).toStdString());
        EXPECT_FALSE(scanning());
        window.showSection(section);
        settle();
        auto& button = find<QToolButton>(buttonName);
        EXPECT_TRUE(scanning() && button.isChecked() && button.isVisibleTo(&window));
        scan.trigger();
        settle();
        EXPECT_FALSE(scanning() || button.isChecked());
        button.click();
        settle();
        EXPECT_TRUE(scanning() && button.isChecked());
        window.showSection(NetworkSection::meshtastic);
        settle();
        EXPECT_FALSE(scanning() || button.isVisibleTo(&window));
        EXPECT_FALSE(scan.isEnabled());
    }
}

TEST_F(LocalNetworkUiTest, GroupsFollowTrackingAndPresence) {
    openLocalNetwork();
    announce("_ipp._tcp", {"Office", "Hall Printer"});
    announce("_raop._tcp", {"Kitchen"});
    browser().track("office|local.");
    settle();
    EXPECT_EQ(rows(), (std::vector<std::string>{"Tracked: Office (printer.fill)", "Available now: Hall Printer (printer.fill)",
                                                "Available now: Kitchen (hifispeaker.fill)"}));
    announce("_ipp._tcp", {});
    EXPECT_EQ(rows(), (std::vector<std::string>{"Tracked: Office (network.slash)", "Available now: Kitchen (hifispeaker.fill)",
                                                "Seen before: Hall Printer (network.slash)"}));
}

TEST_F(LocalNetworkUiTest, InspectorControlsCallTheBrowserAndShowAnUnlistedDelay) {
    openLocalNetwork();
    announce("_ipp._tcp", {"Office"});
    selectRow("office|local.");
    find<QPushButton>("localNetworkTrackButton").click();
    find<QCheckBox>("localNetworkAlertToggle").click();
    settle();
    ASSERT_TRUE(browser().devices()[0].lossAlertEnabled);
    EXPECT_EQ(find<QLabel>("localNetworkMonitorValue").text(), "Online · alarm armed");

    browser().setLossAlertDelay(120, "office|local.");
    settle();
    auto& picker = find<QComboBox>("localNetworkAlertAfter");
    EXPECT_EQ(std::pair(picker.count(), picker.currentText()), std::pair(7, QStringLiteral("2 minutes")));
    picker.setCurrentIndex(picker.findText(QStringLiteral("5 minutes")));
    settle();
    EXPECT_EQ(browser().devices()[0].lossAlertDelay, 300);
    EXPECT_EQ(picker.count(), 6);

    find<QPushButton>("localNetworkForgetButton").click();
    settle();
    EXPECT_TRUE(browser().devices().empty());
    EXPECT_TRUE(shown("localNetworkInspectorEmpty"));
}

}  // namespace
}  // namespace corvane
