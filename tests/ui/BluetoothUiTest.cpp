// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's Bluetooth section driven through its widgets, over the
// real Bluetooth watcher with a scripted radio on virtual time.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <cmath>
#include <QKeyEvent>
#include <QTreeView>
#include <set>

#include "app/BluetoothTrackerManager.h"
#include "ui/EmptyState.h"
#include "ui/SymbolLabel.h"
#include "ui/GeneralSettingsTab.h"
#include "ui/GroupedListModel.h"
#include "ui/SettingsDialog.h"
#include "ui/map/MapView.h"

#include "UiFixture.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;

const Uuid kKeys = *Uuid::parse("AAAA0000-0000-4000-8000-000000000001");

class BluetoothUiTest : public UiFixture {
protected:
    BluetoothTrackerManager& trackers() { return model().bluetoothTrackers(); }
    // The section shown with Keys heard and selected.
    MainWindow& showKeys(const std::string& name = "Keys") {
        start();
        bluetooth_.central.report(BluetoothCentralState::poweredOn);
        defaults_.setString("main.selectedNetwork", "Bluetooth");
        auto& window = openWindow();
        bluetooth_.central.advertise({kKeys, std::nullopt, name, {}, -60});
        settle();
        auto& view = find<QTreeView>("bluetoothDeviceList");
        view.setCurrentIndex(static_cast<GroupedListModel&>(*view.model()).indexOfRow(QString::fromStdString(kKeys.string())));
        settle();
        return window;
    }
};

TEST_F(BluetoothUiTest, CardAndInspectorControlsCallTheManager) {
    showKeys();
    find<QPushButton>("bluetoothTrackButton").click();
    settle();
    ASSERT_EQ(trackers().trackedDevices().size(), 1U);
    EXPECT_FALSE(shown("bluetoothTrackButton"));

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

    find<QPushButton>("bluetoothInspectorTrackButton").click();
    settle();
    EXPECT_TRUE(trackers().trackedDevices().empty());
    EXPECT_EQ(std::pair(shown("bluetoothTrackButton"), shown("bluetoothNoLocation")), std::pair(true, false));
}

TEST_F(BluetoothUiTest, ATrackedDeviceShowsWhereItWasLastHeardOnceThereIsAFix) {
    showKeys();
    trackers().track(trackers().devices().at(0));
    settle();
    EXPECT_EQ(std::pair(shown("bluetoothNoLocation"), shown("bluetoothLastSeenMap")), std::pair(true, false));

    bluetooth_.location.authorize(LocationAuthorization::authorized);
    bluetooth_.location.deliver({52.52, 13.405, 10, loop_.now()});
    loop_.advance(2s);
    bluetooth_.central.advertise({kKeys, std::nullopt, "Keys", {}, -61});
    settle();
    ASSERT_TRUE(shown("bluetoothLastSeenMap"));
    EXPECT_FALSE(shown("bluetoothNoLocation"));
    const auto& markers = find<MapView>("bluetoothLastSeenMapView").markers();
    ASSERT_EQ(markers.size(), 1U);
    EXPECT_EQ(std::tuple(markers[0].coordinate.latitude, markers[0].coordinate.longitude, markers[0].title),
              std::tuple(52.52, 13.405, QStringLiteral("Keys")));

    // Heard again somewhere else: the map moves there.
    bluetooth_.location.deliver({48.2, 16.37, 10, loop_.now()});
    loop_.advance(2s);
    bluetooth_.central.advertise({kKeys, std::nullopt, "Keys", {}, -61});
    settle();
    EXPECT_NEAR(find<MapView>("bluetoothLastSeenMapView").region().center.latitude, 48.2, 1e-6);
}

TEST_F(BluetoothUiTest, TheFinderFollowsTheSignalAndLeadsToTheTrackerSettings) {
    auto& window = showKeys();
    find<QPushButton>("bluetoothInspectorFindButton").click();
    settle();
    ASSERT_TRUE(shown("bluetoothFinder"));
    auto& signal = find<EmptyState>("bluetoothFinderSignal");
    EXPECT_EQ(signal.title(), "Nearby · Measuring signal…");
    EXPECT_EQ(signal.findChild<SymbolLabel*>()->symbol(), "waveform.path.ecg") << "the trend's own symbol";
    find<QCheckBox>("bluetoothSoundGuidance").click();
    EXPECT_TRUE(trackers().finderSoundEnabled());
    loop_.advance(6s);
    settle();
    EXPECT_EQ(find<EmptyState>("bluetoothFinderSignal").title(), "Signal lost");

    find<QPushButton>("bluetoothTrackerSettingsButton").click();
    EXPECT_TRUE(window.settings().general().isVisible());
    EXPECT_TRUE(trackers().isFinding()) << "the finder runs on behind the settings";

    // Leaving ends finding and silences the finder.
    window.showSection(NetworkSection::meshtastic);
    settle();
    EXPECT_FALSE(trackers().isFinding() || trackers().finderSoundEnabled() || bluetooth_.central.scanning);
}

// An advertised name is anyone's text: shown as it is, never as markup.
TEST_F(BluetoothUiTest, AnAdvertisedNameShowsLiterallyInEveryLabel) {
    const QString name = "<b>x</b>";
    auto& window = showKeys(name.toStdString());
    const auto labelsShowingIt = [&] {
        QStringList names;
        for (auto* label : window.findChildren<QLabel*>()) {
            if (!label->isVisibleTo(&window) || !label->text().contains(name)) continue;
            EXPECT_EQ(label->textFormat(), Qt::PlainText) << label->objectName().toStdString();
            names << label->objectName();
        }
        return names;
    };
    const auto before = labelsShowingIt();
    find<QPushButton>("bluetoothInspectorFindButton").click();
    settle();
    const auto finding = labelsShowingIt();
    // The card's title; then the finder's subtitle and the status line.
    EXPECT_EQ(std::pair(before.size(), finding.size()), std::pair(qsizetype{1}, qsizetype{2}));
    EXPECT_TRUE(finding.contains("statusLine"));
}

double luminance(const QColor& colour) {
    const auto linear = [](double c) { return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
    return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) + 0.0722 * linear(colour.blueF());
}

TEST_F(BluetoothUiTest, TheErrorLineIsReadableOnLightAndDarkBars) {
    auto& window = showKeys();
    trackers().setErrorMessage("Bluetooth is switched off");
    settle();
    auto& line = find<QLabel>("errorLine");
    ASSERT_TRUE(line.isVisibleTo(&window));
    auto& icon = *line.parentWidget()->findChild<SymbolLabel*>();
    std::set<QRgb> iconColours;
    for (const QColor ground : {QColor(0xef, 0xef, 0xef), QColor(0x2b, 0x2b, 0x2e)}) {
        QPalette palette = window.palette();
        palette.setColor(QPalette::Window, ground);
        palette.setColor(QPalette::WindowText, ground.lightness() < 128 ? Qt::white : Qt::black);
        window.setPalette(palette);
        const double text = luminance(line.palette().color(line.foregroundRole()));
        const double bar = luminance(window.statusBar()->palette().color(QPalette::Window));
        EXPECT_GE((std::max(text, bar) + 0.05) / (std::min(text, bar) + 0.05), 4.5) << ground.name().toStdString();
        const QImage drawn = icon.grab().toImage();
        iconColours.insert(drawn.pixel(drawn.width() / 2, drawn.height() * 2 / 3) | 0xff000000);
    }
    EXPECT_EQ(iconColours.size(), 2U) << "the symbol is redrawn in the new theme's colour";
}

// A tracked device heard nearby has a row in each group: the arrow keys go
// from one to the other and on, through the section's refreshes.
TEST_F(BluetoothUiTest, ArrowKeysWalkPastBothRowsOfATrackedDeviceHeardNearby) {
    showKeys();
    const Uuid wallet = *Uuid::parse("AAAA0000-0000-4000-8000-000000000002");
    bluetooth_.central.advertise({wallet, std::nullopt, "Wallet", {}, -80});
    trackers().track(trackers().devices().at(0));
    settle();
    auto& view = find<QTreeView>("bluetoothDeviceList");
    const auto& list = static_cast<GroupedListModel&>(*view.model());
    view.setFocus();
    const auto press = [&](int key) {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(&view, &event);
        settle();
        return std::pair(view.currentIndex().parent().data(GroupedListModel::IdRole).toString().toStdString(),
                         list.row(view.currentIndex())->title.toStdString());
    };
    EXPECT_EQ(view.currentIndex().parent().data(GroupedListModel::IdRole), "nearby") << "tracking kept the row";
    EXPECT_EQ(press(Qt::Key_Up), std::pair(std::string("tracked"), std::string("Keys")));
    EXPECT_EQ(press(Qt::Key_Down), std::pair(std::string("nearby"), std::string("Keys")));
    EXPECT_EQ(press(Qt::Key_Down), std::pair(std::string("nearby"), std::string("Wallet")));
    EXPECT_EQ(trackers().trackedDevices().size(), 1U);
    EXPECT_TRUE(shown("bluetoothTrackButton")) << "the card follows: Wallet is not tracked";
}

TEST_F(BluetoothUiTest, CaptionsLeaveOutASteadyTrendDateAnOldSightingAndUnlistedDelaysDoNotPileUp) {
    showKeys();
    for (int i = 0; i < 5; ++i) {
        loop_.advance(3s);
        bluetooth_.central.advertise({kKeys, std::nullopt, "Keys", {}, -60});
    }
    trackers().track(trackers().devices().at(0));
    settle();
    const auto caption = [this](int group) {
        const auto& groups = static_cast<GroupedListModel&>(*find<QTreeView>("bluetoothDeviceList").model()).groups();
        return groups.at(static_cast<std::size_t>(group)).rows.at(0).caption;
    };
    EXPECT_EQ(caption(1), "Nearby") << "steady: the band alone";
    EXPECT_FALSE(caption(0).contains(QStringLiteral(", "))) << caption(0).toStdString();
    trackers().stopScanning();
    loop_.advance(24h);
    trackers().renameTrackedDevice(kKeys, "House keys");
    settle();
    EXPECT_TRUE(caption(0).startsWith(QStringLiteral("Last seen ")) && caption(0).contains(QStringLiteral(", ")))
        << "yesterday's time carries its date: " << caption(0).toStdString();

    // An unlisted delay is shown only while it is the device's own.
    auto& picker = find<QComboBox>("bluetoothAlertDelay");
    for (double delay : {45.0, 50.0}) {
        trackers().setLossAlertDelay(delay, kKeys);
        settle();
        EXPECT_EQ(std::pair(picker.count(), picker.currentData().toDouble()), std::pair(9, delay));
    }
    EXPECT_EQ(picker.itemText(2), "50 seconds") << "in its place among the listed delays";
    trackers().setLossAlertDelay(60, kKeys);
    settle();
    EXPECT_EQ(std::pair(picker.count(), picker.currentText()), std::pair(8, QStringLiteral("1 minute")));
}

TEST_F(BluetoothUiTest, AlertDeliverySettingsStoreTheChoiceAndShowTheStatus) {
    start();
    auto& window = openWindow();
    window.settings().showTab(SettingsDialog::Tab::general);
    settle();
    auto& test = find<QPushButton>("sendTestAlertButton", &window.settings());
    EXPECT_FALSE(test.isEnabled());
    auto& error = find<QLabel>("alertDeliveryError", &window.settings());
    EXPECT_TRUE(error.isHidden()) << "nothing failed yet";
    auto& recipient = find<QLineEdit>("iMessageRecipient", &window.settings());
    recipient.setFocus();
    recipient.setText(" +4912345");
    Q_EMIT recipient.textEdited(recipient.text());
    find<QCheckBox>("iMessageAlertsEnabled", &window.settings()).click();
    settle();
    // Enabled only with both the recipient and the switch handed to the manager.
    EXPECT_EQ(find<QLabel>("iMessageStatus", &window.settings()).text(), "Enabled");
    EXPECT_EQ(recipient.text(), " +4912345");
    // No osascript on this system: the fake runner answers, the status follows.
    bluetooth_.scripts.outcome = {ScriptOutcome::Kind::failed, "not signed in"};
    ASSERT_TRUE(test.isEnabled());
    test.click();
    settle();
    EXPECT_EQ(find<QLabel>("iMessageStatus", &window.settings()).text(), "Could not send");
    EXPECT_EQ(std::pair(error.text(), error.isHidden()), std::pair(QString("Messages could not send the alert: not signed in"), false));
}

}  // namespace
}  // namespace corvane
