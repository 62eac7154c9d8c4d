// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A two-level item model for sidebars: group headers at the top level, rows
// under them. setGroups() takes the new state whole and turns the difference
// into row inserts, moves, removals and dataChanged, never a reset, so views
// keep their selection, scroll position and focus through every refresh.
// GUI thread only.
#include <QAbstractItemModel>
#include <vector>

#include "ui/SidebarRow.h"

namespace corvane {

class GroupedListModel : public QAbstractItemModel {
    Q_OBJECT
public:
    // BadgesRole: per badge a list of the symbol, the text shown on the line
    // (empty for a symbol alone) and the text spoken and shown on hover.
    enum Role { IdRole = Qt::UserRole + 1, SymbolRole, CaptionRole, BadgesRole, IsGroupRole };

    explicit GroupedListModel(QObject* parent = nullptr);

    void setGroups(std::vector<SidebarGroup> groups);
    const std::vector<SidebarGroup>& groups() const;

    // The first row with this id, or an invalid index.
    QModelIndex indexOfRow(const QString& id) const;
    const SidebarRow* row(const QModelIndex& index) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    struct Group {
        SidebarGroup value;
        // Stable tag of the group, carried by its rows' indexes: positions
        // change when groups come and go, tags do not.
        quintptr tag = 0;
    };

    int groupPosition(quintptr tag) const;
    void syncRows(int groupRow, std::vector<SidebarRow> target);

    std::vector<Group> groups_;
    std::vector<SidebarGroup> published_;
    quintptr nextTag_ = 1;
};

}  // namespace corvane
