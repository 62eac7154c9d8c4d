// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/DeviceListSidebar.h"

#include <QTreeView>

#include "ui/GroupedListModel.h"
#include "ui/SidebarRowDelegate.h"

namespace corvane {

DeviceListSidebar::DeviceListSidebar(const QString& listName, const QString& accessibleName, QWidget* parent)
    : PlaceholderStack(parent), list_(new GroupedListModel(this)), view_(new QTreeView) {
    setUpSidebarView(*view_, *list_, listName, accessibleName);
    connect(view_->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& current) {
        if (applyingSelection_) return;
        if (const SidebarRow* row = list_->row(current)) emit selected(row->id);
    });
    addWidget(view_);
}

void DeviceListSidebar::showGroups(std::vector<SidebarGroup> groups, const QString& selectedID) {
    if (groups.empty()) {
        showPlaceholder();
    } else {
        setCurrentWidget(view_);
    }
    // Rows moving between groups drag the view's current row along; that is
    // not the user choosing a row, nor is showing the section's choice back.
    applyingSelection_ = true;
    list_->setGroups(std::move(groups));
    showSelection(*view_, *list_, selectedID);
    applyingSelection_ = false;
}

}  // namespace corvane
