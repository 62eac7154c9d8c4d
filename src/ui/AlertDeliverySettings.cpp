// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/AlertDeliverySettings.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/BluetoothTrackerManager.h"
#include "app/CorvaneModel.h"
#include "core/TextTrim.h"
#include "ui/FormParts.h"
#include "ui/MetricGroup.h"
#include "ui/UiContext.h"

namespace corvane {

AlertDeliverySettings::AlertDeliverySettings(UiContext& context, QWidget* parent)
    : QWidget(parent),
      trackers_(context.model.bluetoothTrackers()),
      enabled_(new QCheckBox(QStringLiteral("Send signal-loss alerts with Messages"))),
      recipient_(new QLineEdit),
      status_(new QLabel),
      test_(new QPushButton(QStringLiteral("Send Test Alert"))),
      error_(new QLabel) {
    enabled_->setObjectName(QStringLiteral("iMessageAlertsEnabled"));
    recipient_->setObjectName(QStringLiteral("iMessageRecipient"));
    recipient_->setPlaceholderText(QStringLiteral("iPhone number or Apple Account email"));
    status_->setObjectName(QStringLiteral("iMessageStatus"));
    status_->setTextFormat(Qt::PlainText);
    test_->setObjectName(QStringLiteral("sendTestAlertButton"));
    error_->setObjectName(QStringLiteral("alertDeliveryError"));
    error_->setTextFormat(Qt::PlainText);
    error_->setWordWrap(true);
    connect(enabled_, &QCheckBox::toggled, this, [this](bool on) {
        trackers_.setIMessageAlertsEnabled(on);
        trackers_.updateIMessageStatus();
    });
    connect(recipient_, &QLineEdit::textEdited, this, [this](const QString& text) {
        trackers_.setIMessageRecipient(text.toStdString());
        trackers_.updateIMessageStatus();
    });
    connect(test_, &QPushButton::clicked, this, [this] { trackers_.sendTestIMessage(); });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* heading = new QLabel(QStringLiteral("Alert delivery"));
    heading->setObjectName(QStringLiteral("alertDeliveryHeading"));
    auto* group = new MetricGroup(QStringLiteral("Messages alert"));
    group->addRow(enabled_);
    group->addRow(recipient_);
    group->addRow(QStringLiteral("Status"), status_);
    group->addRow(test_);
    group->addRow(wrappedText(QStringLiteral("Messages must be signed in on this Mac. The first test may ask for "
                                             "permission to control Messages. Local notifications remain enabled if "
                                             "message delivery fails."), true));
    group->addRow(error_);
    layout->addWidget(heading);
    layout->addWidget(group);
    refresher_ = std::make_unique<RefreshOnChange>(context.loop, trackers_.changed(), [this] { refresh(); });
    refresh();
}

void AlertDeliverySettings::refresh() {
    const QSignalBlocker blocker(enabled_);
    enabled_->setChecked(trackers_.iMessageAlertsEnabled());
    if (!recipient_->hasFocus()) recipient_->setText(QString::fromStdString(trackers_.iMessageRecipient()));
    status_->setText(QString::fromStdString(trackers_.iMessageStatus()));
    test_->setEnabled(!trimmedWhitespaceAndNewlines(trackers_.iMessageRecipient()).empty());
    // A line that reads "Unknown error" while nothing failed only alarms: it shows a failure or nothing.
    const auto error = trackers_.errorMessage();
    error_->setText(QString::fromStdString(error.value_or("")));
    error_->setVisible(error.has_value());
}

}  // namespace corvane
