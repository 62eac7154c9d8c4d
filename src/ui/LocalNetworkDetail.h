// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Local Network section's content: the selected device's card (kind,
// name, tracking, availability, last seen, services), or the placeholder
// when nothing is selected.
#include <QWidget>

#include "core/LocalNetworkDevice.h"

class QLabel;
class QPushButton;
class QStackedWidget;

namespace corvane {

class EmptyState;
class LocalNetworkBrowser;

class LocalNetworkDetail : public QWidget {
    Q_OBJECT
public:
    explicit LocalNetworkDetail(LocalNetworkBrowser& browser, QWidget* parent = nullptr);

    // `device` null: the placeholder.
    void refresh(const LocalNetworkDevice* device);

private:
    LocalNetworkBrowser& browser_;
    QStackedWidget* pages_;
    EmptyState* empty_;
    QLabel* icon_;
    QLabel* name_;
    QWidget* tracked_;
    QPushButton* track_;
    QLabel* availability_;
    QLabel* lastSeen_;
    QLabel* services_;
    QLabel* onlineNote_;
    std::string shown_;
};

}  // namespace corvane
