// SPDX-License-Identifier: GPL-3.0-or-later
// The Settings window's General and Base tabs over the real model, and the
// text of the apply confirmation.
#include <QComboBox>
#include <QLineEdit>
#include <QSlider>
#include <QWheelEvent>
#include <QMessageBox>
#include <QPushButton>

#include "ui/NetworkRadioDialog.h"
#include "ui/RadioSettingsSummary.h"
#include "ui/RadioSettingsTab.h"
#include "ui/SettingsDialog.h"
#include "ui/Stepper.h"

#include "UiFixture.h"

namespace corvane {
namespace {

MeshtasticRadioSettings radioHolding(std::uint32_t hops) {
    auto settings = MeshtasticRadioSettings::recommended();
    settings.hopLimit = hops;
    return settings;
}

// One field changed is checked through the window; here every field at once.
TEST(RadioSettingsSummaryTest, ListsEveryFieldThatChanges) {
    auto draft = radioHolding(3);
    draft.region = MeshtasticRegion::unset;
    draft.modemPreset = MeshtasticModemPreset::shortFast;
    draft.hopLimit = 7;
    draft.channelNum = 20;
    draft.txEnabled = false;
    draft.txPower = 17;
    draft.rxBoostedGain = false;
    EXPECT_EQ(radioSettingsChangeSummary(radioHolding(3), draft).split('\n'),
              (QStringList{"The connected radio configuration will be updated.", "Region: EU868 → unset",
                           "Preset: Long Range – Fast → Short Range – Fast", "Hops: 3 → 7", "Frequency slot: 0 → 20",
                           "Transmit: disabled", "Power: 0 → 17 dBm (0 is regional default)", "RX boosted gain: off"}));
    EXPECT_EQ(radioSettingsChangeSummary(draft, draft), "No settings will change.");
}

class SettingsUiTest : public UiFixture {
protected:
    SettingsDialog& settings() { return window_->settings(); }
    void radioReports(const std::optional<MeshtasticRadioSettings>& settings) {
        emit(news(Event::radioSettings, [&](Response& r) { r.settings = settings; }));
        settle();
    }
    std::optional<MeshtasticRadioSettings> draft() { return settings().base().draft(); }
    QAbstractButton& button(const char* name) { return find<QAbstractButton>(name, &settings()); }
};

TEST_F(SettingsUiTest, BaseDraftKeepsEditsUntilTheRadioReportsNewValues) {
    startConnected();
    emitLocalNode(1);
    openWindow();
    settings().showTab(SettingsDialog::Tab::base);
    settle();
    EXPECT_TRUE(find<QWidget>("radioSettingsUnavailable", &settings()).isVisible());

    radioReports(radioHolding(3));
    EXPECT_FALSE(button("applyRadioButton").isEnabled());
    find<Stepper>("hopsStepper", &settings()).increment()->click();
    EXPECT_EQ(draft()->hopLimit, 4u);
    EXPECT_TRUE(button("applyRadioButton").isEnabled());

    emitNode(makeNode(5, "Unrelated"));
    radioReports(radioHolding(3));  // the same values again
    radioReports(std::nullopt);     // gone
    settle();
    EXPECT_EQ(draft()->hopLimit, 4u);

    radioReports(radioHolding(6));
    EXPECT_EQ(draft()->hopLimit, 6u);
    EXPECT_FALSE(button("applyRadioButton").isEnabled());
}

// Only the user opening the page reads the radio again and drops the draft:
// the window coming back from the task bar is no new look at it.
TEST_F(SettingsUiTest, OpeningTheBasePageReadsOnceAndRestoringKeepsTheDraft) {
    startConnected();
    emitLocalNode(1);
    openWindow();
    const auto reads = [this] {
        int count = 0;
        for (const auto& line : bridge().written) count += line.find("readRadioSettings") != std::string::npos;
        return count;
    };
    settings().showTab(SettingsDialog::Tab::base);
    settle();
    EXPECT_EQ(reads(), 1);
    radioReports(radioHolding(3));
    find<Stepper>("hopsStepper", &settings()).increment()->click();

    settings().setWindowState(Qt::WindowMinimized);
    settings().setWindowState(Qt::WindowNoState);
    settle();
    EXPECT_EQ(std::pair(reads(), draft()->hopLimit), std::pair(1, 4u));

    settings().close();
    settings().showTab(SettingsDialog::Tab::base);
    settle();
    EXPECT_EQ(std::pair(reads(), draft()->hopLimit), std::pair(2, 3u)) << "opened again: the radio's values";
}

TEST_F(SettingsUiTest, ApplyAsksFirstAndSendsTheDraft) {
    startConnected();
    emitLocalNode(1);
    openWindow();
    settings().showTab(SettingsDialog::Tab::base);
    auto held = radioHolding(9);  // outside the offered range: shown, not written back
    radioReports(held);
    EXPECT_EQ(draft(), held);

    button("recommendedButton").click();
    ASSERT_TRUE(button("applyRadioButton").isEnabled());
    button("applyRadioButton").click();
    auto& confirmation = find<QMessageBox>("applyConfirmation", &settings());
    EXPECT_EQ(confirmation.text(), "The connected radio configuration will be updated.\nHops: 9 → 3");
    find<QAbstractButton>("confirmApplyButton", &confirmation).click();
    settle();
    const auto request = bridge().request();
    EXPECT_EQ(request.command, MeshtasticBridgeCommand::applyRadioSettings);
    EXPECT_EQ(request.settings, MeshtasticRadioSettings::recommended());
}

// A wheel turned to scroll the page passes over the controls; once the user
// has picked one, the wheel sets it.
TEST_F(SettingsUiTest, TheWheelChangesASliderOrPickerOnlyOnceItHasFocus) {
    addDevice("ttyACM0");
    addDevice("ttyUSB1");
    start();
    openWindow();
    settings().showTab(SettingsDialog::Tab::general);
    settle();
    QApplication::setActiveWindow(&settings());
    auto& slider = *find<QWidget>("movementRadius", &settings()).findChild<QSlider*>();
    auto& ports = find<QComboBox>("availableRadios", &settings());
    const auto turn = [](QWidget& control) {
        const QPointF middle(control.width() / 2.0, control.height() / 2.0);
        QWheelEvent wheel(middle, control.mapToGlobal(middle), {}, QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(&control, &wheel);
    };
    button("refreshPortsButton").setFocus();
    const double radius = model().parkingRadius();
    turn(slider);
    turn(ports);
    EXPECT_EQ(std::pair(model().parkingRadius(), ports.currentIndex()), std::pair(radius, 0));
    EXPECT_NE(slider.focusPolicy() & Qt::WheelFocus, Qt::WheelFocus) << "the wheel does not give focus either";

    slider.setFocus();
    turn(slider);
    EXPECT_NE(model().parkingRadius(), radius);
    ports.setFocus();
    turn(ports);
    EXPECT_EQ(ports.currentIndex(), 1);
}

TEST_F(SettingsUiTest, ConnectionButtonsPassTheChosenRadio) {
    addDevice("ttyACM0");
    addDevice("ttyUSB1");
    start();
    openWindow();
    settings().showTab(SettingsDialog::Tab::general);
    auto& ports = find<QComboBox>("availableRadios", &settings());
    EXPECT_EQ(ports.currentIndex(), 0);  // "Choose a radio": two listed, none chosen
    const auto launches = this->launches();

    ports.setCurrentIndex(ports.findData(QString::fromStdString(device("ttyUSB1"))));
    EXPECT_EQ(model().selectedPort(), device("ttyUSB1"));
    button("connectButton").click();
    ASSERT_EQ(this->launches(), launches + 1);
    acceptConnect(device("ttyUSB1"));
    settle();
    EXPECT_EQ(button("connectButton").text(), "Reconnect");
    EXPECT_EQ(find<QLabel>("usbRadioValue", &settings()).text().toStdString(), device("ttyUSB1"));

    button("disconnectButton").click();
    settle();
    EXPECT_FALSE(model().connectedPort().has_value());
    EXPECT_EQ(button("connectButton").text(), "Connect");
}

TEST_F(SettingsUiTest, AddNetworkRadioChecksTheAddressAndListsAndChoosesIt) {
    addDevice("ttyACM0");
    start();
    openWindow();
    settings().showTab(SettingsDialog::Tab::general);
    button("addNetworkRadioButton").click();
    settle();
    auto& dialog = find<NetworkRadioDialog>("networkRadioDialog", &settings());
    auto& host = find<QLineEdit>("networkRadioHost", &dialog);
    auto& port = find<QLineEdit>("networkRadioPort", &dialog);
    host.setText(QStringLiteral("radio.local"));
    port.setText(QStringLiteral("70000"));
    dialog.accept();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(find<QLabel>("networkRadioProblem", &dialog).text(), "The port must be a number from 1 to 65535.");
    port.setText(QStringLiteral("4404"));
    dialog.accept();
    settle();
    auto& ports = find<QComboBox>("availableRadios", &settings());
    EXPECT_EQ(ports.currentData().toString(), "tcp:radio.local:4404");
    EXPECT_EQ(ports.findData(QString::fromStdString(device("ttyACM0"))), 1);
    EXPECT_EQ(model().selectedPort(), "tcp:radio.local:4404");
    EXPECT_EQ(model().networkRadios(), std::vector<std::string>{"tcp:radio.local:4404"});
}

TEST_F(SettingsUiTest, PhoneSectionFollowsTheDaemonAndStoresTheChoice) {
    start();
    openWindow();
    settings().showTab(SettingsDialog::Tab::general);
    auto& picker = find<QComboBox>("phoneAlertDevice", &settings());
    const auto status = [this] {
        settle();
        return find<QLabel>("phoneAlertStatus", &settings()).text().toStdString();
    };
    phone_.update({}, false);
    EXPECT_EQ(status(), "KDE Connect is not running");
    EXPECT_EQ(picker.count(), 1);
    EXPECT_FALSE(button("sendTestPhoneAlertButton").isEnabled());

    phone_.update({{"e5f6_tablet", "Tab S8", true}, {"a1b2_pixel", "Pixel 7", false}});
    EXPECT_EQ(status(), "Not configured");
    ASSERT_EQ(picker.count(), 3);
    EXPECT_EQ(picker.itemText(1), "Tab S8");
    picker.setCurrentIndex(2);
    button("phoneAlertsEnabled").click();
    EXPECT_EQ(defaults_.string("phoneAlertDevice"), "a1b2_pixel");
    EXPECT_EQ(defaults_.boolean("phoneAlertsEnabled"), true);
    EXPECT_EQ(status(), "Phone not reachable · 0 alerts waiting");

    phone_.update({{"a1b2_pixel", "Pixel 7", true}});
    EXPECT_EQ(status(), "Enabled");
    EXPECT_EQ(picker.count(), 2);
    EXPECT_EQ(picker.currentText(), "Pixel 7");
    button("sendTestPhoneAlertButton").click();
    ASSERT_EQ(phone_.sent.size(), 1u);
    EXPECT_EQ(phone_.sent[0].phoneID, "a1b2_pixel");
    // Unpaired: the choice stays shown (by its id) while nothing can be sent.
    phone_.update({{"e5f6_tablet", "Tab S8", true}});
    EXPECT_EQ(status(), "Not configured");
    EXPECT_EQ(picker.currentText(), "a1b2_pixel");
    EXPECT_FALSE(button("sendTestPhoneAlertButton").isEnabled());
}

}  // namespace
}  // namespace corvane
