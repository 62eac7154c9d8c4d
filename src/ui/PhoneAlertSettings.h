// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Settings ▸ General ▸ Phone (after the Messages section of alert
// delivery): whether alerts also go to a phone through KDE Connect, which
// paired phone, the delivery status and a test alert, over the model's
// PhoneAlerts. The picker and status follow the daemon live (phones paired,
// unpaired, reachable, the daemon starting or stopping); refreshed once per
// loop turn.
#include <QWidget>
#include <memory>
#include <vector>

#include "ui/ComboChoices.h"
#include "ui/RefreshOnChange.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

namespace corvane {

struct UiContext;
class PhoneAlerts;

class PhoneAlertSettings : public QWidget {
    Q_OBJECT
public:
    explicit PhoneAlertSettings(UiContext& context, QWidget* parent = nullptr);

    void refresh();

private:
    PhoneAlerts& alerts_;
    QCheckBox* enabled_;
    QComboBox* phones_;
    QLabel* status_;
    QPushButton* test_;
    std::vector<ComboChoice> shownPhones_;
    std::unique_ptr<RefreshOnChange> refresher_;
};

}  // namespace corvane
