// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/BluetoothDetail.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/BluetoothTrackerManager.h"
#include "ui/BluetoothFinderDetail.h"
#include "ui/BluetoothLastSeenMap.h"
#include "ui/EmptyState.h"
#include "ui/FormParts.h"

namespace corvane {

BluetoothDetail::BluetoothDetail(BluetoothTrackerManager& trackers, const MapTileSource& tiles, QWidget* parent)
    : PlaceholderStack(parent), trackers_(trackers), finder_(new BluetoothFinderDetail(trackers)) {
    placeholder().setObjectName(QStringLiteral("bluetoothContentPlaceholder"));
    card_ = buildCard(tiles);
    connect(finder_, &BluetoothFinderDetail::settingsRequested, this, &BluetoothDetail::settingsRequested);
    addWidget(card_);
    addWidget(finder_);
}

QWidget* BluetoothDetail::buildCard(const MapTileSource& tiles) {
    auto* card = new QWidget;
    title_ = new QLabel;
    title_->setObjectName(QStringLiteral("bluetoothCardTitle"));
    title_->setTextFormat(Qt::PlainText);
    title_->setWordWrap(true);
    title_->setAlignment(Qt::AlignHCenter);
    QFont titleFont = title_->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.6);
    titleFont.setBold(true);
    title_->setFont(titleFont);
    track_ = new QPushButton(QStringLiteral("Track This Device"));
    track_->setObjectName(QStringLiteral("bluetoothTrackButton"));
    connect(track_, &QPushButton::clicked, this, [this] {
        for (const auto& device : trackers_.devices())
            if (device.id == shown_) trackers_.track(device);
    });
    auto* find = new QPushButton(QStringLiteral("Find Nearby"));
    find->setObjectName(QStringLiteral("bluetoothFindButton"));
    connect(find, &QPushButton::clicked, this, [this] {
        if (shown_) trackers_.startFinding(*shown_);
    });
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(track_);
    buttons->addWidget(find);
    buttons->addStretch(1);
    auto* note = wrappedText(QStringLiteral("Use the live Bluetooth signal to locate this device nearby."), true);
    note->setAlignment(Qt::AlignHCenter);
    lastSeenMap_ = new BluetoothLastSeenMap(tiles);
    noLocation_ = new EmptyState;
    noLocation_->setObjectName(QStringLiteral("bluetoothNoLocation"));
    noLocation_->setContent(QStringLiteral("location.slash"), QString(),
                            QStringLiteral("Corvane is tracking this device. Its last-seen location will appear "
                                           "after the Mac has a location fix and hears the device again."));

    auto* column = new QVBoxLayout(card);
    column->addSpacing(12);
    column->addWidget(title_);
    column->addLayout(buttons);
    column->addWidget(note);
    column->addSpacing(12);
    // Without either, the card's head stays at the top.
    column->addWidget(lastSeenMap_, 4);
    column->addWidget(noLocation_, 4);
    column->addStretch(1);
    return card;
}

void BluetoothDetail::refresh(const DiscoveredTracker* live, const TrackedBluetoothDevice* tracked, Timestamp now) {
    if (trackers_.isFinding()) {
        finder_->refresh(now);
        setCurrentWidget(finder_);
        return;
    }
    if (!live && !tracked) {
        const bool scanning = trackers_.isScanning();
        showPlaceholder(QStringLiteral("dot.radiowaves.left.and.right"),
                        scanning ? QStringLiteral("Looking for Bluetooth devices") : QStringLiteral("Choose a Bluetooth device"),
                        scanning ? QStringLiteral("Listening for Bluetooth devices nearby.")
                                 : QStringLiteral("Select a nearby device in the sidebar."));
        return;
    }
    shown_ = tracked ? tracked->id : live->id;
    const QString name = QString::fromStdString(tracked ? tracked->name : live->name);
    title_->setText(name);
    track_->setVisible(!tracked);
    const bool located = tracked && tracked->latitude && tracked->longitude;
    lastSeenMap_->setVisible(located);
    noLocation_->setVisible(tracked && !located);
    if (located) lastSeenMap_->show(name, {*tracked->latitude, *tracked->longitude});
    setCurrentWidget(card_);
}

}  // namespace corvane
