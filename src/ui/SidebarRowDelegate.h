// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Draws GroupedListModel rows: group headers as small captions, rows as a
// symbol, a title, a caption line and a line of badges (symbol and text);
// resting the pointer on a badge shows what it means.
#include <QStyledItemDelegate>

class QTreeView;

namespace corvane {

class SidebarRowDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;
};

class GroupedListModel;

// A sidebar's list: `model` drawn by this delegate as a flat, frameless list
// of groups that are always expanded.
void setUpSidebarView(QTreeView& view, GroupedListModel& model, const QString& objectName,
                      const QString& accessibleName);

// Shows `id` as the view's current row. The view's selection says which row
// the user is on: while its current row stands for `id` (a tracked device
// also listed under "Nearby") it stays, so the arrow keys pass from one of
// the thing's rows to the other; otherwise the first row for `id` becomes
// current. An empty or unlisted `id` clears the selection.
void showSelection(QTreeView& view, const GroupedListModel& model, const QString& id);

}  // namespace corvane
