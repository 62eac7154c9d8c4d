// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/GroupedListModel.h"

#include <QIcon>
#include <QStringList>
#include <QVariant>
#include <algorithm>
#include <unordered_set>

#include "ui/SymbolIcon.h"

namespace corvane {
namespace {

// Brings `current` to `target` in steps a view can follow: removals first,
// then for each target position either a move of an existing item or an
// insert, then content changes. Items are matched by `key`.
template <typename Item, typename Key, typename Model>
void syncList(std::vector<Item>& current, std::vector<Item> target, Key key, Model& model) {
    std::unordered_set<QString> wanted;
    for (const auto& item : target) wanted.insert(key(item));
    for (int i = static_cast<int>(current.size()) - 1; i >= 0;) {
        if (wanted.count(key(current[static_cast<std::size_t>(i)]))) {
            --i;
            continue;
        }
        int first = i;
        while (first > 0 && !wanted.count(key(current[static_cast<std::size_t>(first - 1)]))) --first;
        model.removeItems(first, i);
        current.erase(current.begin() + first, current.begin() + i + 1);
        i = first - 1;
    }
    for (std::size_t i = 0; i < target.size(); ++i) {
        const QString id = key(target[i]);
        if (i < current.size() && key(current[i]) == id) {
            model.updateItem(static_cast<int>(i), std::move(target[i]));
            continue;
        }
        auto found = std::find_if(current.begin() + static_cast<std::ptrdiff_t>(std::min(i, current.size())),
                                  current.end(), [&](const Item& item) { return key(item) == id; });
        if (found != current.end()) {
            const int from = static_cast<int>(found - current.begin());
            model.moveItem(from, static_cast<int>(i));
            std::rotate(current.begin() + static_cast<std::ptrdiff_t>(i), found, found + 1);
            model.updateItem(static_cast<int>(i), std::move(target[i]));
        } else {
            current.insert(current.begin() + static_cast<std::ptrdiff_t>(i), target[i]);
            model.insertItem(static_cast<int>(i), std::move(target[i]));
        }
    }
}

}  // namespace

GroupedListModel::GroupedListModel(QObject* parent) : QAbstractItemModel(parent) {}

const std::vector<SidebarGroup>& GroupedListModel::groups() const { return published_; }

void GroupedListModel::setGroups(std::vector<SidebarGroup> groups) {
    if (groups == published_) return;
    published_ = groups;

    struct GroupSteps {
        GroupedListModel& self;
        void removeItems(int first, int last) {
            self.beginRemoveRows({}, first, last);
            self.groups_.erase(self.groups_.begin() + first, self.groups_.begin() + last + 1);
            self.endRemoveRows();
        }
        void moveItem(int from, int to) {
            self.beginMoveRows({}, from, from, {}, to);
            auto begin = self.groups_.begin();
            std::rotate(begin + to, begin + from, begin + from + 1);
            self.endMoveRows();
        }
        void insertItem(int at, SidebarGroup group) {
            std::vector<SidebarRow> rows = std::move(group.rows);
            group.rows.clear();
            self.beginInsertRows({}, at, at);
            self.groups_.insert(self.groups_.begin() + at, Group{std::move(group), self.nextTag_++});
            self.endInsertRows();
            self.syncRows(at, std::move(rows));
        }
        void updateItem(int at, SidebarGroup group) {
            auto& existing = self.groups_[static_cast<std::size_t>(at)].value;
            if (existing.title != group.title) {
                existing.title = group.title;
                const QModelIndex index = self.index(at, 0);
                emit self.dataChanged(index, index);
            }
            self.syncRows(at, std::move(group.rows));
        }
    };
    // The bookkeeping vector mirrors groups_ for the generic walk; the steps
    // above keep groups_ itself in line.
    std::vector<SidebarGroup> mirror;
    mirror.reserve(groups_.size());
    for (const auto& group : groups_) mirror.push_back(SidebarGroup{group.value.id, {}, {}});
    GroupSteps steps{*this};
    syncList(mirror, std::move(groups), [](const SidebarGroup& g) { return g.id; }, steps);
}

void GroupedListModel::syncRows(int groupRow, std::vector<SidebarRow> target) {
    Group& group = groups_[static_cast<std::size_t>(groupRow)];
    const QModelIndex parent = index(groupRow, 0);
    struct RowSteps {
        GroupedListModel& self;
        std::vector<SidebarRow>& rows;
        QModelIndex parent;
        void removeItems(int first, int last) {
            self.beginRemoveRows(parent, first, last);
            rows.erase(rows.begin() + first, rows.begin() + last + 1);
            self.endRemoveRows();
        }
        void moveItem(int from, int to) {
            self.beginMoveRows(parent, from, from, parent, to);
            std::rotate(rows.begin() + to, rows.begin() + from, rows.begin() + from + 1);
            self.endMoveRows();
        }
        void insertItem(int at, SidebarRow row) {
            self.beginInsertRows(parent, at, at);
            rows.insert(rows.begin() + at, std::move(row));
            self.endInsertRows();
        }
        void updateItem(int at, SidebarRow row) {
            auto& existing = rows[static_cast<std::size_t>(at)];
            if (existing == row) return;
            existing = std::move(row);
            const QModelIndex index = self.index(at, 0, parent);
            emit self.dataChanged(index, index);
        }
    };
    std::vector<SidebarRow> mirror = group.value.rows;
    RowSteps steps{*this, group.value.rows, parent};
    syncList(mirror, std::move(target), [](const SidebarRow& r) { return r.id; }, steps);
}

int GroupedListModel::groupPosition(quintptr tag) const {
    for (std::size_t i = 0; i < groups_.size(); ++i)
        if (groups_[i].tag == tag) return static_cast<int>(i);
    return -1;
}

QModelIndex GroupedListModel::indexOfRow(const QString& id) const {
    for (std::size_t g = 0; g < groups_.size(); ++g) {
        const auto& rows = groups_[g].value.rows;
        for (std::size_t r = 0; r < rows.size(); ++r)
            if (rows[r].id == id) return createIndex(static_cast<int>(r), 0, groups_[g].tag);
    }
    return {};
}

const SidebarRow* GroupedListModel::row(const QModelIndex& index) const {
    if (!index.isValid() || index.internalId() == 0) return nullptr;
    const int group = groupPosition(index.internalId());
    if (group < 0) return nullptr;
    const auto& rows = groups_[static_cast<std::size_t>(group)].value.rows;
    if (index.row() < 0 || index.row() >= static_cast<int>(rows.size())) return nullptr;
    return &rows[static_cast<std::size_t>(index.row())];
}

QModelIndex GroupedListModel::index(int row, int column, const QModelIndex& parent) const {
    if (column != 0 || row < 0) return {};
    if (!parent.isValid()) {
        if (row >= static_cast<int>(groups_.size())) return {};
        return createIndex(row, 0, quintptr(0));
    }
    if (parent.internalId() != 0 || parent.row() >= static_cast<int>(groups_.size())) return {};
    const Group& group = groups_[static_cast<std::size_t>(parent.row())];
    if (row >= static_cast<int>(group.value.rows.size())) return {};
    return createIndex(row, 0, group.tag);
}

QModelIndex GroupedListModel::parent(const QModelIndex& child) const {
    if (!child.isValid() || child.internalId() == 0) return {};
    const int group = groupPosition(child.internalId());
    return group < 0 ? QModelIndex() : createIndex(group, 0, quintptr(0));
}

int GroupedListModel::rowCount(const QModelIndex& parent) const {
    if (!parent.isValid()) return static_cast<int>(groups_.size());
    if (parent.internalId() != 0 || parent.row() >= static_cast<int>(groups_.size())) return 0;
    return static_cast<int>(groups_[static_cast<std::size_t>(parent.row())].value.rows.size());
}

int GroupedListModel::columnCount(const QModelIndex&) const { return 1; }

QVariant GroupedListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    if (index.internalId() == 0) {
        if (index.row() >= static_cast<int>(groups_.size())) return {};
        const auto& group = groups_[static_cast<std::size_t>(index.row())].value;
        switch (role) {
        case Qt::DisplayRole:
        case Qt::AccessibleTextRole: return group.title;
        case IdRole: return group.id;
        case IsGroupRole: return true;
        default: return {};
        }
    }
    const SidebarRow* item = row(index);
    if (!item) return {};
    switch (role) {
    case Qt::DisplayRole: return item->title;
    case Qt::AccessibleTextRole: {
        // What the row shows, badges included: a screen reader user hears
        // that an alert is armed as a sighted one sees the bell.
        QStringList parts{item->title};
        if (!item->caption.isEmpty()) parts.push_back(item->caption);
        for (const auto& badge : item->badges)
            if (!badge.text.isEmpty()) parts.push_back(badge.text);
        return parts.join(QStringLiteral(", "));
    }
    case Qt::DecorationRole: return SymbolIcon::icon(item->symbol);
    case IdRole: return item->id;
    case SymbolRole: return item->symbol;
    case CaptionRole: return item->caption;
    case BadgesRole: {
        QVariantList badges;
        for (const auto& badge : item->badges)
            badges.push_back(QStringList{badge.symbol, badge.symbolOnly ? QString() : badge.text, badge.text});
        return badges;
    }
    case IsGroupRole: return false;
    default: return {};
    }
}

Qt::ItemFlags GroupedListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    // Headers are not rows to land on: the arrow keys step over them.
    if (index.internalId() == 0) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

}  // namespace corvane
