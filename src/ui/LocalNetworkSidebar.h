// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Local Network section's device list in three groups, "Tracked",
// "Available now" and "Seen before", each in the browser's order, with the
// placeholders for an empty list while scanning and while idle.
#include "ui/DeviceListSidebar.h"

namespace corvane {

class LocalNetworkBrowser;

class LocalNetworkSidebar : public DeviceListSidebar {
    Q_OBJECT
public:
    explicit LocalNetworkSidebar(LocalNetworkBrowser& browser, QWidget* parent = nullptr);

    void refresh(const QString& selectedID);

private:
    LocalNetworkBrowser& browser_;
};

}  // namespace corvane
