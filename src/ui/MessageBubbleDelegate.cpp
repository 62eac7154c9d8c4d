// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/MessageBubbleDelegate.h"

#include <QAbstractItemView>
#include <QPainter>
#include <QPainterPath>

#include "ui/MessageListModel.h"

namespace corvane {
namespace {

constexpr int kOuter = 10;
constexpr int kPadding = 8;

QString captionOf(const QModelIndex& index) {
    const QString sender = index.data(MessageListModel::SenderRole).toString();
    const QString channel = index.data(MessageListModel::ChannelRole).toString();
    return channel.isEmpty() ? sender : sender + QStringLiteral(" · ") + channel;
}

QFont captionFont(const QFont& base) {
    QFont font = base;
    font.setPointSizeF(base.pointSizeF() * 0.85);
    return font;
}

}  // namespace

MessageBubbleDelegate::Layout MessageBubbleDelegate::layout(const QStyleOptionViewItem& option,
                                                            const QModelIndex& index, int width) const {
    const QFontMetrics text(option.font);
    const QFontMetrics caption(captionFont(option.font));
    const int maxText = std::max(120, width * 7 / 10 - 2 * kPadding);
    const QRect textSize = text.boundingRect(QRect(0, 0, maxText, 100000), Qt::TextWordWrap,
                                             index.data(Qt::DisplayRole).toString());
    const int captionWidth = std::min(maxText, caption.horizontalAdvance(captionOf(index)));
    const int bubbleWidth = std::max(textSize.width(), captionWidth) + 2 * kPadding;
    const bool outgoing = index.data(MessageListModel::OutgoingRole).toBool();
    const int left = outgoing ? width - kOuter - bubbleWidth : kOuter;
    Layout result;
    result.caption = QRect(left + kPadding, 4, bubbleWidth - 2 * kPadding, caption.height());
    result.bubble = QRect(left, result.caption.bottom() + 3, bubbleWidth, textSize.height() + 2 * kPadding);
    result.text = result.bubble.adjusted(kPadding, kPadding, -kPadding, -kPadding);
    return result;
}

QSize MessageBubbleDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const auto* view = qobject_cast<const QAbstractItemView*>(option.widget);
    const int width = view ? view->viewport()->width() : 400;
    return {width, layout(option, index, width).bubble.bottom() + 5};
}

void MessageBubbleDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                  const QModelIndex& index) const {
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->translate(option.rect.topLeft());
    const Layout shape = layout(option, index, option.rect.width());
    const bool outgoing = index.data(MessageListModel::OutgoingRole).toBool();
    const QPalette& palette = option.palette;

    painter->setFont(captionFont(option.font));
    painter->setPen(palette.color(QPalette::PlaceholderText));
    painter->drawText(shape.caption, static_cast<int>((outgoing ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter),
                      QFontMetrics(painter->font()).elidedText(captionOf(index), Qt::ElideRight, shape.caption.width()));

    QPainterPath bubble;
    bubble.addRoundedRect(shape.bubble, 10, 10);
    painter->fillPath(bubble, palette.color(outgoing ? QPalette::Highlight : QPalette::AlternateBase));
    if (!outgoing) {
        painter->setPen(QPen(palette.color(QPalette::Mid), 0.8));
        painter->drawPath(bubble);
    }
    painter->setFont(option.font);
    painter->setPen(palette.color(outgoing ? QPalette::HighlightedText : QPalette::Text));
    painter->drawText(shape.text, static_cast<int>(Qt::TextWordWrap), index.data(Qt::DisplayRole).toString());
    painter->restore();
}

}  // namespace corvane
