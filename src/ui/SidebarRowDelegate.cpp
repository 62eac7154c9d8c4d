// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/SidebarRowDelegate.h"

#include <QApplication>
#include <QPainter>
#include <QTreeView>

#include "ui/GroupedListModel.h"
#include "ui/SymbolIcon.h"

namespace corvane {
namespace {

constexpr int kMargin = 6;
constexpr int kIconSize = 20;
constexpr int kTextLeft = 36;
constexpr int kBadgeIcon = 12;

QFont smallFont(const QFont& base) {
    QFont font = base;
    font.setPointSizeF(base.pointSizeF() * 0.88);
    return font;
}

}  // namespace

QSize SidebarRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const QFontMetrics normal(option.font);
    const QFontMetrics small(smallFont(option.font));
    if (index.data(GroupedListModel::IsGroupRole).toBool()) return {100, small.height() + 12};
    int height = 2 * kMargin + normal.height();
    if (!index.data(GroupedListModel::CaptionRole).toString().isEmpty()) height += small.height();
    if (!index.data(GroupedListModel::BadgesRole).toList().isEmpty()) height += std::max(small.height(), kBadgeIcon) + 2;
    return {100, std::max(height, kIconSize + 2 * kMargin)};
}

void SidebarRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    painter->save();
    const QPalette& palette = option.palette;
    const QFont small = smallFont(option.font);
    const QRect rect = option.rect;

    if (index.data(GroupedListModel::IsGroupRole).toBool()) {
        QFont font = small;
        font.setBold(true);
        painter->setFont(font);
        painter->setPen(palette.color(QPalette::PlaceholderText));
        painter->drawText(rect.adjusted(8, 6, -8, 0), Qt::AlignLeft | Qt::AlignVCenter,
                          index.data(Qt::DisplayRole).toString());
        painter->restore();
        return;
    }

    QStyleOptionViewItem background = option;
    initStyleOption(&background, index);
    background.text.clear();
    background.icon = QIcon();
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &background, painter, widget);

    const bool selected = option.state & QStyle::State_Selected;
    const QColor text = palette.color(selected ? QPalette::HighlightedText : QPalette::Text);
    const QColor muted = selected ? text : palette.color(QPalette::PlaceholderText);

    const QString symbol = index.data(GroupedListModel::SymbolRole).toString();
    const QRect iconRect(rect.left() + 8, rect.top() + kMargin, kIconSize, kIconSize);
    SymbolIcon::icon(symbol, selected ? QPalette::HighlightedText : QPalette::Text).paint(painter, iconRect);

    const QFontMetrics normal(option.font);
    const QFontMetrics smallMetrics(small);
    int y = rect.top() + kMargin;
    const int left = rect.left() + kTextLeft;
    const int width = rect.right() - left - 6;
    painter->setFont(option.font);
    painter->setPen(text);
    painter->drawText(QRect(left, y, width, normal.height()), Qt::AlignLeft | Qt::AlignVCenter,
                      normal.elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight, width));
    y += normal.height();

    painter->setFont(small);
    painter->setPen(muted);
    const QString caption = index.data(GroupedListModel::CaptionRole).toString();
    if (!caption.isEmpty()) {
        painter->drawText(QRect(left, y, width, smallMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                          smallMetrics.elidedText(caption, Qt::ElideRight, width));
        y += smallMetrics.height();
    }

    const QVariantList badges = index.data(GroupedListModel::BadgesRole).toList();
    // A badge text cut to "Tr…" says nothing: when the texts do not all fit,
    // the line shows the symbols alone.
    int needed = 0;
    for (const QVariant& entry : badges) {
        const QStringList badge = entry.toStringList();
        if (badge.size() == 2) needed += kBadgeIcon + 4 + (badge[1].isEmpty() ? 0 : smallMetrics.horizontalAdvance(badge[1]) + 10);
    }
    const bool withTexts = left + needed <= rect.right();
    int x = left;
    const int lineHeight = std::max(smallMetrics.height(), kBadgeIcon);
    for (const QVariant& entry : badges) {
        const QStringList badge = entry.toStringList();
        if (badge.size() != 2 || x >= rect.right()) continue;
        SymbolIcon::icon(badge[0], selected ? QPalette::HighlightedText : QPalette::PlaceholderText)
            .paint(painter, QRect(x, y + 1 + (lineHeight - kBadgeIcon) / 2, kBadgeIcon, kBadgeIcon));
        x += kBadgeIcon + 4;
        if (withTexts && !badge[1].isEmpty()) {
            const QString shown = smallMetrics.elidedText(badge[1], Qt::ElideRight, rect.right() - x - 4);
            painter->drawText(QRect(x, y + 1, rect.right() - x, lineHeight), Qt::AlignLeft | Qt::AlignVCenter, shown);
            x += smallMetrics.horizontalAdvance(shown) + 10;
        }
    }
    painter->restore();
}

void setUpSidebarView(QTreeView& view, GroupedListModel& model, const QString& objectName, const QString& accessibleName) {
    view.setObjectName(objectName);
    view.setAccessibleName(accessibleName);
    view.setModel(&model);
    view.setItemDelegate(new SidebarRowDelegate(&view));
    view.setHeaderHidden(true);
    view.setRootIsDecorated(false);
    view.setItemsExpandable(false);
    view.setIndentation(0);
    view.setUniformRowHeights(false);
    view.setFrameShape(QFrame::NoFrame);
    QObject::connect(&model, &QAbstractItemModel::rowsInserted, &view,
                     [&view, &model](const QModelIndex& group, int first, int last) {
        if (group.isValid()) return;
        for (int row = first; row <= last; ++row) view.expand(model.index(row, 0));
    });
}

}  // namespace corvane
