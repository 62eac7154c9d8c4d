// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's Bluetooth section driven through its widgets, over the
// real Bluetooth watcher with a scripted radio on virtual time.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>

#include "app/BluetoothTrackerManager.h"
#include "ui/EmptyState.h"
#include "ui/GroupedListModel.h"
#include "ui/SettingsDialog.h"

#include "UiFixture.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;

const Uuid kKeys = *Uuid::parse("AAAA0000-0000-4000-8000-000000000001");

class BluetoothUiTest : public UiFixture {
protected:
    BluetoothTrackerManager& trackers() { return model().bluetoothTrackers(); }
    GroupedListModel& list() { return static_cast<GroupedListModel&>(*find<QTreeView>("bluetoothDeviceList").model()); }
    std::vector<QString> groupIds() {
        std::vector<QString> ids;
        for (const auto& group : list().groups()) ids.push_back(group.id);
        return ids;
    }
};

TEST_F(BluetoothUiTest, SectionScansWhileShownAndDrivesTrackingAndFinding) {
    start();
    bluetooth_.central.report(BluetoothCentralState::poweredOn);
    auto& window = openWindow();
    EXPECT_FALSE(trackers().isScanning());
    window.showSection(NetworkSection::bluetooth);
    settle();
    EXPECT_TRUE(bluetooth_.central.scanning);
    EXPECT_EQ(find<EmptyState>("bluetoothNoDevices").title(), "Looking for devices");

    bluetooth_.central.advertise({kKeys, std::nullopt, "Keys", {}, -60});
    settle();
    EXPECT_EQ(groupIds(), std::vector<QString>{"nearby"});
    auto& view = find<QTreeView>("bluetoothDeviceList");
    view.setCurrentIndex(list().indexOfRow(QString::fromStdString(kKeys.string())));
    settle();
    EXPECT_EQ(find<QLabel>("bluetoothCardTitle").text(), "Keys");
    EXPECT_EQ(find<QLabel>("bluetoothNearby").text(), "Nearby");
    find<QPushButton>("bluetoothTrackButton").click();
    settle();
    EXPECT_EQ(groupIds(), (std::vector<QString>{"tracked", "nearby"}));

    auto& delay = find<QComboBox>("bluetoothAlertDelay");
    delay.setCurrentIndex(delay.findText("1 minute"));
    Q_EMIT delay.activated(delay.currentIndex());
    find<QCheckBox>("bluetoothLossAlert").click();
    auto& name = find<QLineEdit>("bluetoothTrackedName");
    name.setText("House keys");
    Q_EMIT name.editingFinished();
    settle();
    const auto& tracked = trackers().trackedDevices().at(0);
    EXPECT_EQ(std::tuple(tracked.name, tracked.lossAlertDelay, tracked.lossAlertEnabled),
              std::tuple(std::string("House keys"), 60.0, true));

    find<QPushButton>("bluetoothInspectorFindButton").click();
    settle();
    EXPECT_TRUE(shown("bluetoothFinder"));
    EXPECT_EQ(find<EmptyState>("bluetoothFinderSignal").title(), "Nearby · Measuring signal…");
    find<QCheckBox>("bluetoothSoundGuidance").click();
    EXPECT_TRUE(trackers().finderSoundEnabled());
    loop_.advance(6s);
    settle();
    EXPECT_EQ(find<EmptyState>("bluetoothFinderSignal").title(), "Signal lost");

    // Leaving ends finding and scanning and silences the finder.
    window.showSection(NetworkSection::meshtastic);
    settle();
    EXPECT_FALSE(trackers().isFinding() || trackers().isScanning() || trackers().finderSoundEnabled());
    EXPECT_FALSE(bluetooth_.central.scanning);
    window.showSection(NetworkSection::bluetooth);
    settle();
    EXPECT_TRUE(trackers().isScanning());
    EXPECT_EQ(find<QPushButton>("bluetoothInspectorTrackButton").text(), "Stop Tracking");
    EXPECT_EQ(find<QLabel>("bluetoothNearby").text(), "Not currently nearby");
}

TEST_F(BluetoothUiTest, AlertDeliverySettingsStoreTheChoiceAndShowTheStatus) {
    start();
    auto& window = openWindow();
    window.settings().showTab(SettingsDialog::Tab::general);
    settle();
    auto& test = find<QPushButton>("sendTestAlertButton", &window.settings());
    EXPECT_FALSE(test.isEnabled());
    auto& recipient = find<QLineEdit>("iMessageRecipient", &window.settings());
    recipient.setFocus();
    recipient.setText(" +4912345");
    Q_EMIT recipient.textEdited(recipient.text());
    find<QCheckBox>("iMessageAlertsEnabled", &window.settings()).click();
    settle();
    EXPECT_EQ(defaults_.string("bluetoothLossIMessageRecipient"), " +4912345");
    EXPECT_EQ(defaults_.boolean("bluetoothLossIMessageEnabled"), true);
    EXPECT_EQ(find<QLabel>("iMessageStatus", &window.settings()).text(), "Enabled");
    EXPECT_EQ(recipient.text(), " +4912345");
    // No osascript on this system: the fake runner answers, the status follows.
    bluetooth_.scripts.outcome = {ScriptOutcome::Kind::failed, "not signed in"};
    ASSERT_TRUE(test.isEnabled());
    test.click();
    settle();
    EXPECT_EQ(find<QLabel>("iMessageStatus", &window.settings()).text(), "Could not send");
    EXPECT_EQ(find<QLabel>("alertDeliveryError", &window.settings()).text(),
              "Messages could not send the alert: not signed in");
}

}  // namespace
}  // namespace corvane
