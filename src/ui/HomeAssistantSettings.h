// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Settings ▸ General ▸ Home Assistant (after Phone): the MQTT broker, its
// user and password, the base topic and room, and the connection's status.
// Edits are kept and the connection restarted only on Apply, so typing a URL
// does not reconnect at every key; Apply is offered while the fields differ
// from what is kept and the URL is blank or one the client can use.
#include <QWidget>
#include <memory>

#include "app/HomeAssistantLink.h"
#include "ui/RefreshOnChange.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace corvane {

struct UiContext;

class HomeAssistantSettings : public QWidget {
    Q_OBJECT
public:
    HomeAssistantSettings(UiContext& context, HomeAssistantLink& link, QWidget* parent = nullptr);

protected:
    void changeEvent(QEvent* event) override;

private:
    HomeAssistantLink::Settings edited() const;
    void showSaved();
    void refresh();

    HomeAssistantLink& link_;
    QLineEdit* broker_;
    QLineEdit* user_;
    QLineEdit* password_;
    QLineEdit* baseTopic_;
    QLineEdit* room_;
    QLabel* status_;
    QLabel* error_;
    QPushButton* apply_;
    std::unique_ptr<RefreshOnChange> refresher_;
};

}  // namespace corvane
