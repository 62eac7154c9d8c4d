// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/PhoneAlertSettings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/CorvaneModel.h"
#include "app/PhoneAlerts.h"
#include "ui/FormParts.h"
#include "ui/MetricGroup.h"
#include "ui/UiContext.h"

namespace corvane {

PhoneAlertSettings::PhoneAlertSettings(UiContext& context, QWidget* parent)
    : QWidget(parent),
      alerts_(context.model.phoneAlerts()),
      enabled_(new QCheckBox(QStringLiteral("Send alerts to my phone with KDE Connect"))),
      phones_(new QComboBox),
      status_(new QLabel),
      test_(new QPushButton(QStringLiteral("Send Test Alert"))) {
    enabled_->setObjectName(QStringLiteral("phoneAlertsEnabled"));
    phones_->setObjectName(QStringLiteral("phoneAlertDevice"));
    status_->setObjectName(QStringLiteral("phoneAlertStatus"));
    status_->setTextFormat(Qt::PlainText);
    test_->setObjectName(QStringLiteral("sendTestPhoneAlertButton"));
    connect(enabled_, &QCheckBox::toggled, this, [this](bool on) { alerts_.setEnabled(on); });
    connect(phones_, &QComboBox::currentIndexChanged, this,
            [this](int index) { alerts_.setDevice(phones_->itemData(index).toString().toStdString()); });
    connect(test_, &QPushButton::clicked, this, [this] { alerts_.sendTest(); });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* group = new MetricGroup(QStringLiteral("Phone"));
    group->addRow(enabled_);
    group->addRow(QStringLiteral("Phone"), phones_);
    group->addRow(QStringLiteral("Status"), status_);
    group->addRow(test_);
    group->addRow(wrappedText(QStringLiteral("KDE Connect must be paired with the phone, on this computer and on the "
                                             "phone. An alert for a phone out of reach is sent when it is back, for "
                                             "up to an hour."), true));
    layout->addWidget(group);
    refresher_ = std::make_unique<RefreshOnChange>(context.loop, alerts_.changed(), [this] { refresh(); });
    refresh();
}

void PhoneAlertSettings::refresh() {
    const QSignalBlocker blocker(enabled_);
    enabled_->setChecked(alerts_.enabled());
    std::vector<ComboChoice> choices{{QStringLiteral("Choose a phone"), QString()}};
    const QString chosen = QString::fromStdString(alerts_.device());
    bool listed = chosen.isEmpty();
    for (const auto& phone : alerts_.phones()) {
        choices.emplace_back(QString::fromStdString(phone.name), QString::fromStdString(phone.id));
        listed = listed || choices.back().second == chosen;
    }
    // A phone chosen earlier stays shown while the daemon is away.
    if (!listed) choices.emplace_back(chosen, chosen);
    showChoices(*phones_, shownPhones_, std::move(choices), chosen);
    status_->setText(QString::fromStdString(alerts_.status()));
    status_->setToolTip(QString::fromStdString(alerts_.lastError().value_or("")));
    test_->setEnabled(alerts_.chosenPhone() != nullptr);
}

}  // namespace corvane
