// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/BluetoothFinderDetail.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "app/BluetoothTrackerManager.h"
#include "ui/BluetoothText.h"
#include "ui/EmptyState.h"
#include "ui/FormParts.h"

namespace corvane {

BluetoothFinderDetail::BluetoothFinderDetail(BluetoothTrackerManager& trackers, QWidget* parent)
    : QWidget(parent),
      trackers_(trackers),
      signal_(new EmptyState),
      lastSeen_(new QLabel),
      sound_(new QCheckBox(QStringLiteral("Sound guidance"))) {
    setObjectName(QStringLiteral("bluetoothFinder"));
    signal_->setObjectName(QStringLiteral("bluetoothFinderSignal"));
    lastSeen_->setObjectName(QStringLiteral("bluetoothFinderLastSeen"));
    lastSeen_->setAlignment(Qt::AlignHCenter);
    lastSeen_->setTextFormat(Qt::PlainText);
    sound_->setObjectName(QStringLiteral("bluetoothSoundGuidance"));
    connect(sound_, &QCheckBox::toggled, this, [this](bool on) { trackers_.setFinderSoundEnabled(on); });
    auto* stop = new QPushButton(QStringLiteral("Stop Finding"));
    stop->setObjectName(QStringLiteral("bluetoothStopFindingButton"));
    connect(stop, &QPushButton::clicked, this, [this] { trackers_.stopFinding(); });
    auto* settings = new QPushButton(QStringLiteral("Open Tracker Settings"));
    settings->setObjectName(QStringLiteral("bluetoothTrackerSettingsButton"));
    connect(settings, &QPushButton::clicked, this, &BluetoothFinderDetail::settingsRequested);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(stop);
    buttons->addWidget(settings);
    buttons->addStretch(1);
    auto* note = wrappedText(QStringLiteral("Bluetooth signal indicates proximity, not an exact distance. "
                                            "Walls, people and nearby objects can change the reading."),
                             true);
    note->setAlignment(Qt::AlignHCenter);
    auto* column = new QVBoxLayout(this);
    column->addStretch(1);
    column->addWidget(signal_);
    column->addWidget(lastSeen_);
    column->addWidget(sound_, 0, Qt::AlignHCenter);
    column->addLayout(buttons);
    column->addWidget(note);
    column->addStretch(1);
}

void BluetoothFinderDetail::refresh(Timestamp now) {
    const DiscoveredTracker* found = trackers_.trackedDevice();
    if (trackers_.isFinderSignalLost(now) || !found) {
        signal_->setContent(QStringLiteral("questionmark.circle"), QStringLiteral("Signal lost"),
                            QStringLiteral("Move around to find the signal again"));
    } else {
        signal_->setContent(BluetoothText::trendSymbol(*found), BluetoothText::proximity(*found),
                            QString::fromStdString(found->name));
    }
    lastSeen_->setText(found ? QStringLiteral("Last seen ") + BluetoothText::time(found->lastSeen, now) : QString());
    const QSignalBlocker blocker(sound_);
    sound_->setChecked(trackers_.finderSoundEnabled());
}

}  // namespace corvane
