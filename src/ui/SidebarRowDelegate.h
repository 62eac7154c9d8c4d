#pragma once
// Draws GroupedListModel rows: group headers as small captions, rows as a
// symbol, a title, a caption line and a line of badges (symbol and text).
#include <QStyledItemDelegate>

namespace corvane {

class SidebarRowDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

}  // namespace corvane
