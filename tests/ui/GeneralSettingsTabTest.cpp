// SPDX-License-Identifier: GPL-3.0-or-later
// Settings ▸ General's radio picker: a kept network radio is removed from it.
#include <QComboBox>
#include <QPushButton>

#include "ui/SettingsDialog.h"

#include "UiFixture.h"

namespace corvane {
namespace {

using GeneralSettingsTabTest = UiFixture;

TEST_F(GeneralSettingsTabTest, OnlyAChosenNetworkRadioCanBeRemoved) {
    defaults_.setString("networkRadios", R"(["tcp:radio.local","tcp:attic.local:4404"])");
    start();
    auto& window = openWindow();
    window.settings().showTab(SettingsDialog::Tab::general);
    settle();
    auto& ports = find<QComboBox>("availableRadios", &window.settings());
    auto& remove = find<QPushButton>("removeNetworkRadioButton", &window.settings());
    EXPECT_FALSE(remove.isEnabled()) << "no radio chosen";
    ports.setCurrentIndex(ports.findData(QStringLiteral("tcp:attic.local:4404")));
    settle();
    ASSERT_TRUE(remove.isEnabled());
    remove.click();
    settle();
    EXPECT_EQ(model().networkRadios(), std::vector<std::string>{"tcp:radio.local"});
    EXPECT_EQ(std::pair(ports.count(), remove.isEnabled()), std::pair(2, false));
}

}  // namespace
}  // namespace corvane
