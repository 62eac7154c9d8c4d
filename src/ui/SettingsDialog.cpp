// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/SettingsDialog.h"

#include <QShowEvent>
#include <QTabWidget>
#include <QVBoxLayout>

#include "ui/AboutTab.h"
#include "ui/AlertDeliverySettings.h"
#include "ui/GeneralSettingsTab.h"
#include "ui/HomeAssistantSettings.h"
#include "ui/PhoneAlertSettings.h"
#include "ui/RadioSettingsTab.h"
#include "ui/SymbolIcon.h"
#include "ui/UiContext.h"

namespace corvane {

SettingsDialog::SettingsDialog(UiContext& context, QWidget* parent)
    : QDialog(parent),
      tabs_(new QTabWidget),
      general_(new GeneralSettingsTab(context)),
      base_(new RadioSettingsTab(context)),
      about_(new AboutTab(context.version)) {
    general_->addSection({}, new AlertDeliverySettings(context));
    general_->addSection({}, new PhoneAlertSettings(context));
    if (context.homeAssistant) general_->addSection({}, new HomeAssistantSettings(context, *context.homeAssistant));
    setObjectName(QStringLiteral("settingsDialog"));
    setWindowTitle(QStringLiteral("Settings"));
    setModal(false);
    tabs_->setObjectName(QStringLiteral("settingsTabs"));
    tabs_->addTab(general_, SymbolIcon::icon(QStringLiteral("gear")), QStringLiteral("General"));
    tabs_->addTab(base_, SymbolIcon::icon(QStringLiteral("cable.connector")), QStringLiteral("Base"));
    tabs_->addTab(about_, SymbolIcon::icon(QStringLiteral("info.circle")), QStringLiteral("About"));
    tabs_->setFixedSize(650, 520);
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(tabs_);
    connect(tabs_, &QTabWidget::currentChanged, this, [this] { tabShown(); });
}

void SettingsDialog::showTab(Tab tab) {
    const int index = tab == Tab::general ? 0 : tab == Tab::base ? 1 : 2;
    const bool changes = tabs_->currentIndex() != index;
    tabs_->setCurrentIndex(index);
    if (!isVisible()) {
        show();
    } else if (!changes) {
        tabShown();
    }
    raise();
    activateWindow();
}

// The window system's own show events (a restore from minimised, a window
// mapped again on another desktop) are not the user opening the window:
// reading the radio then would throw away the Base page's draft.
void SettingsDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) tabShown();
}

void SettingsDialog::tabShown() {
    if (!isVisible()) return;
    if (tabs_->currentWidget() == base_) base_->pageShown();
    if (tabs_->currentWidget() == general_) general_->pageShown();
}

}  // namespace corvane
