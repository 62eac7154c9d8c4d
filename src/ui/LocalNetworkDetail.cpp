// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/LocalNetworkDetail.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/LocalNetworkBrowser.h"
#include "ui/EmptyState.h"
#include "ui/LocalNetworkText.h"
#include "ui/SymbolLabel.h"

namespace corvane {
namespace {

QLabel* plainLabel(const char* name) {
    auto* label = new QLabel;
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignHCenter);
    return label;
}

}  // namespace

LocalNetworkDetail::LocalNetworkDetail(LocalNetworkBrowser& browser, QWidget* parent)
    : PlaceholderStack(parent),
      browser_(browser),
      card_(new QWidget),
      icon_(new SymbolLabel(72)),
      name_(plainLabel("localNetworkDetailName")),
      tracked_(new QWidget),
      track_(new QPushButton(QStringLiteral("Track This Device"))),
      availability_(plainLabel("localNetworkAvailability")),
      lastSeen_(plainLabel("localNetworkDetailLastSeen")),
      services_(plainLabel("localNetworkServiceSummary")),
      onlineNote_(plainLabel("localNetworkOnlineNote")) {
    placeholder().setObjectName(QStringLiteral("localNetworkContentEmpty"));
    QFont nameFont = name_->font();
    nameFont.setPointSizeF(nameFont.pointSizeF() * 1.6);
    nameFont.setBold(true);
    name_->setFont(nameFont);
    auto* trackedIcon = new SymbolLabel(16);
    trackedIcon->setSymbol(QStringLiteral("checkmark.circle.fill"));
    tracked_->setObjectName(QStringLiteral("localNetworkTrackedMark"));
    auto* trackedLayout = new QHBoxLayout(tracked_);
    trackedLayout->addStretch(1);
    trackedLayout->addWidget(trackedIcon);
    trackedLayout->addWidget(new QLabel(QStringLiteral("Tracked by Corvane")));
    trackedLayout->addStretch(1);
    track_->setObjectName(QStringLiteral("localNetworkDetailTrackButton"));
    connect(track_, &QPushButton::clicked, this, [this] { browser_.track(shown_); });
    onlineNote_->setText(QStringLiteral("Corvane can currently see one or more services announced by this device."));

    auto* column = new QVBoxLayout(card_);
    column->addStretch(1);
    column->addWidget(icon_, 0, Qt::AlignHCenter);
    column->addWidget(name_);
    column->addWidget(tracked_);
    column->addWidget(track_, 0, Qt::AlignHCenter);
    for (QLabel* label : {availability_, lastSeen_, services_, onlineNote_}) column->addWidget(label);
    column->addStretch(2);
    addWidget(card_);
}

void LocalNetworkDetail::refresh(const LocalNetworkDevice* device) {
    if (!device) {
        const bool scanning = browser_.isScanning();
        showPlaceholder(QStringLiteral("network"),
                           scanning ? QStringLiteral("Listening on the Local Network")
                                    : QStringLiteral("Choose a Local Network device"),
                           scanning ? QStringLiteral("Select an available or previously seen device in the sidebar.")
                                    : QStringLiteral("Start a scan to discover devices that announce services through Bonjour."));
        return;
    }
    setCurrentWidget(card_);
    shown_ = device->id;
    icon_->setSymbol(LocalNetworkText::kindSymbol(*device));
    name_->setText(QString::fromStdString(device->name));
    tracked_->setVisible(device->isTracked);
    track_->setVisible(!device->isTracked);
    availability_->setText(device->isOnline ? QStringLiteral("Available on this network")
                                            : QStringLiteral("Not currently available"));
    lastSeen_->setText("Last seen " + LocalNetworkText::lastSeen(*device));
    services_->setText(QString::fromStdString(device->serviceSummary()));
    onlineNote_->setVisible(device->isOnline);
}

}  // namespace corvane
