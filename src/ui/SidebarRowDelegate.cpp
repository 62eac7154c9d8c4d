// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/SidebarRowDelegate.h"

#include <QApplication>
#include <QAbstractItemView>
#include <QHelpEvent>
#include <QItemSelectionModel>
#include <QPainter>
#include <QToolTip>
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

struct BadgePlace {
    QString symbol;
    QRect icon;
    QRect text;
    QString shown;
    QString tip;
};

// Where the badge line's symbols and texts go, starting at `top`. A badge
// text cut to "Tr…" says nothing: when the texts do not all fit, the line
// shows the symbols alone.
std::vector<BadgePlace> badgePlaces(const QStyleOptionViewItem& option, const QModelIndex& index, int top) {
    const QFontMetrics metrics(smallFont(option.font));
    const QRect rect = option.rect;
    const int left = rect.left() + kTextLeft;
    const QVariantList badges = index.data(GroupedListModel::BadgesRole).toList();
    int needed = 0;
    for (const QVariant& entry : badges) {
        const QStringList badge = entry.toStringList();
        if (badge.size() == 3) needed += kBadgeIcon + 4 + (badge[1].isEmpty() ? 0 : metrics.horizontalAdvance(badge[1]) + 10);
    }
    const bool withTexts = left + needed <= rect.right();
    const int lineHeight = std::max(metrics.height(), kBadgeIcon);
    std::vector<BadgePlace> places;
    int x = left;
    for (const QVariant& entry : badges) {
        const QStringList badge = entry.toStringList();
        if (badge.size() != 3 || x >= rect.right()) continue;
        BadgePlace place{badge[0], QRect(x, top + 1 + (lineHeight - kBadgeIcon) / 2, kBadgeIcon, kBadgeIcon), {}, {}, badge[2]};
        x += kBadgeIcon + 4;
        if (withTexts && !badge[1].isEmpty()) {
            place.shown = metrics.elidedText(badge[1], Qt::ElideRight, rect.right() - x - 4);
            place.text = QRect(x, top + 1, metrics.horizontalAdvance(place.shown), lineHeight);
            x += place.text.width() + 10;
        }
        places.push_back(std::move(place));
    }
    return places;
}

// The top of the badge line: under the title and, when there is one, the caption.
int badgeLineTop(const QStyleOptionViewItem& option, const QModelIndex& index) {
    int y = option.rect.top() + kMargin + QFontMetrics(option.font).height();
    if (!index.data(GroupedListModel::CaptionRole).toString().isEmpty()) y += QFontMetrics(smallFont(option.font)).height();
    return y;
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

    for (const BadgePlace& place : badgePlaces(option, index, y)) {
        SymbolIcon::icon(place.symbol, selected ? QPalette::HighlightedText : QPalette::PlaceholderText)
            .paint(painter, place.icon);
        if (!place.shown.isEmpty()) painter->drawText(place.text, Qt::AlignLeft | Qt::AlignVCenter, place.shown);
    }
    painter->restore();
}

bool SidebarRowDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                                   const QModelIndex& index) {
    if (event->type() == QEvent::ToolTip && index.isValid() && !index.data(GroupedListModel::IsGroupRole).toBool()) {
        for (const BadgePlace& place : badgePlaces(option, index, badgeLineTop(option, index))) {
            if (place.tip.isEmpty() || !place.icon.united(place.text).contains(event->pos())) continue;
            QToolTip::showText(event->globalPos(), place.tip, view->viewport(), place.icon.united(place.text));
            return true;
        }
    }
    return QStyledItemDelegate::helpEvent(event, view, option, index);
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

void showSelection(QTreeView& view, const GroupedListModel& model, const QString& id) {
    QItemSelectionModel& selection = *view.selectionModel();
    const QModelIndex current = selection.currentIndex();
    const SidebarRow* shown = model.row(current);
    const QModelIndex wanted = id.isEmpty() ? QModelIndex() : shown && shown->id == id ? current : model.indexOfRow(id);
    if (wanted.isValid()) {
        if (wanted != current || !selection.isSelected(wanted))
            selection.setCurrentIndex(wanted, QItemSelectionModel::ClearAndSelect);
    } else if (current.isValid() || selection.hasSelection()) {
        selection.clear();
    }
}

}  // namespace corvane
