// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Draws GroupedListModel rows: group headers as small captions, rows as a
// symbol, a title, a caption line and a line of badges (symbol and text).
#include <QStyledItemDelegate>

class QTreeView;

namespace corvane {

class SidebarRowDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

class GroupedListModel;

// A sidebar's list: `model` drawn by this delegate as a flat, frameless list
// of groups that are always expanded.
void setUpSidebarView(QTreeView& view, GroupedListModel& model, const QString& objectName,
                      const QString& accessibleName);

}  // namespace corvane
