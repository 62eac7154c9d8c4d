// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Draws one message as a bubble: received ones on the left, sent ones on the
// right in the accent colour, with the sender and the channel as a caption.
#include <QStyledItemDelegate>

namespace corvane {

class MessageBubbleDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    struct Layout {
        QRect bubble;
        QRect text;
        QRect caption;
    };
    Layout layout(const QStyleOptionViewItem& option, const QModelIndex& index, int width) const;
};

}  // namespace corvane
