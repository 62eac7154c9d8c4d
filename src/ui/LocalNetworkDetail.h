// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Local Network section's content: the selected device's card (kind,
// name, tracking, availability, last seen, services), or the placeholder
// when nothing is selected.
#include "core/LocalNetworkDevice.h"
#include "ui/PlaceholderStack.h"

class QLabel;
class QPushButton;

namespace corvane {

class LocalNetworkBrowser;
class SymbolLabel;

class LocalNetworkDetail : public PlaceholderStack {
    Q_OBJECT
public:
    explicit LocalNetworkDetail(LocalNetworkBrowser& browser, QWidget* parent = nullptr);

    // `device` null: the placeholder.
    void refresh(const LocalNetworkDevice* device);

private:
    LocalNetworkBrowser& browser_;
    QWidget* card_;
    SymbolLabel* icon_;
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
