// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What one sidebar row shows, as plain values: a section builds the whole
// list of groups from its watcher and hands it to a GroupedListModel, which
// works out what moved. `id` names the thing the row stands for: unique
// within its group, and together with the group's id unique in the list (a
// tracked device heard nearby has a row in each group); equal pairs are the
// same row across refreshes.
#include <QString>
#include <vector>

namespace corvane {

struct SidebarBadge {
    QString symbol;
    // Spoken with the row and shown when the pointer rests on the badge.
    QString text;
    // The line shows the symbol without its text.
    bool symbolOnly = false;
    friend bool operator==(const SidebarBadge&, const SidebarBadge&) = default;
};

struct SidebarRow {
    QString id;
    QString title;
    QString symbol;
    QString caption;
    std::vector<SidebarBadge> badges;
    friend bool operator==(const SidebarRow&, const SidebarRow&) = default;
};

struct SidebarGroup {
    QString id;
    QString title;
    std::vector<SidebarRow> rows;
    friend bool operator==(const SidebarGroup&, const SidebarGroup&) = default;
};

}  // namespace corvane
