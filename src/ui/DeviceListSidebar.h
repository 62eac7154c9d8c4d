// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A section's sidebar: its devices in groups, or its placeholder while
// there are none. The selection belongs to the section: it is shown back
// after every refresh without being announced, and only a row the user picks
// is announced with `selected`. GUI thread only.
#include <QString>
#include <vector>

#include "ui/PlaceholderStack.h"
#include "ui/SidebarRow.h"

class QTreeView;

namespace corvane {

class GroupedListModel;

class DeviceListSidebar : public PlaceholderStack {
    Q_OBJECT
public:
    DeviceListSidebar(const QString& listName, const QString& accessibleName, QWidget* parent = nullptr);

    // Empty `groups`: the placeholder, whose content the caller sets.
    void showGroups(std::vector<SidebarGroup> groups, const QString& selectedID);
    GroupedListModel& listModel() { return *list_; }

signals:
    void selected(const QString& id);

private:
    GroupedListModel* list_;
    QTreeView* view_;
    bool applyingSelection_ = false;
};

}  // namespace corvane
