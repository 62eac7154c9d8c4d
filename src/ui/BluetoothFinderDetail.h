// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Finder mode's panel: the signal band and trend of the device being found
// (or "Signal lost" once it has been silent too long), the sound guidance
// toggle, when it was last heard, and the ways out: "Stop Finding" and
// "Open Tracker Settings". Every control calls one operation of the tracker
// manager; the settings button is only announced. GUI thread only.
#include <QWidget>

#include "core/DateTime.h"

class QCheckBox;
class QLabel;

namespace corvane {

class BluetoothTrackerManager;
class EmptyState;

class BluetoothFinderDetail : public QWidget {
    Q_OBJECT
public:
    explicit BluetoothFinderDetail(BluetoothTrackerManager& trackers, QWidget* parent = nullptr);

    void refresh(Timestamp now);

signals:
    void settingsRequested();

private:
    BluetoothTrackerManager& trackers_;
    EmptyState* signal_;
    QLabel* lastSeen_;
    QCheckBox* sound_;
};

}  // namespace corvane
