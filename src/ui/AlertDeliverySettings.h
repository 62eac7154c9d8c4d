// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Settings ▸ General ▸ Alert delivery: whether signal-loss alerts also go
// out through Messages, to whom, the delivery status and a test message,
// over the Bluetooth watcher. Refreshed once per loop turn; text typed into
// the recipient field is never overwritten while it has focus.
#include <QWidget>
#include <memory>

#include "ui/RefreshOnChange.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace corvane {

struct UiContext;
class BluetoothTrackerManager;

class AlertDeliverySettings : public QWidget {
    Q_OBJECT
public:
    explicit AlertDeliverySettings(UiContext& context, QWidget* parent = nullptr);

    void refresh();

private:
    BluetoothTrackerManager& trackers_;
    QCheckBox* enabled_;
    QLineEdit* recipient_;
    QLabel* status_;
    QPushButton* test_;
    QLabel* error_;
    std::unique_ptr<RefreshOnChange> refresher_;
};

}  // namespace corvane
