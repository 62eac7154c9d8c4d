// SPDX-License-Identifier: GPL-3.0-or-later
// The sidebar model under Qt's model checker through refreshes that add,
// move and drop rows and groups, and what its rows tell assistive
// technology and the pointer.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QHelpEvent>
#include <QToolTip>
#include <QPersistentModelIndex>
#include <QTreeView>

#include "ui/GroupedListModel.h"
#include "ui/SidebarRowDelegate.h"
#include "support/WidgetApplication.h"

namespace corvane {
namespace {

SidebarGroup group(const char* id, std::vector<const char*> rows) {
    SidebarGroup result{QString::fromLatin1(id), QString::fromLatin1(id).toUpper(), {}};
    for (const char* row : rows) result.rows.push_back({QString::fromLatin1(row), QString::fromLatin1(row), {}, {}, {}});
    return result;
}

// "group: row row" per group, as the model reports it.
std::vector<std::string> shown(const QAbstractItemModel& model) {
    std::vector<std::string> lines;
    for (int g = 0; g < model.rowCount(); ++g) {
        const QModelIndex parent = model.index(g, 0);
        std::string line = parent.data(GroupedListModel::IdRole).toString().toStdString() + ":";
        for (int r = 0; r < model.rowCount(parent); ++r)
            line += " " + model.index(r, 0, parent).data(GroupedListModel::IdRole).toString().toStdString();
        lines.push_back(line);
    }
    return lines;
}

class GroupedListModelTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { widgetApplication(); }
    GroupedListModel model;
    QAbstractItemModelTester tester{&model, QAbstractItemModelTester::FailureReportingMode::Fatal};
};

TEST_F(GroupedListModelTest, RefreshesKeepTheModelConsistentAndRowsFollowTheirThing) {
    model.setGroups({group("tracked", {"a", "b"}), group("nearby", {"a", "c", "d"})});
    const QPersistentModelIndex nearbyA = model.index(0, 0, model.index(1, 0));
    const QPersistentModelIndex d = model.index(2, 0, model.index(1, 0));

    model.setGroups({group("nearby", {"d", "c", "a", "e"}), group("tracked", {"b"}), group("seen", {"f"})});
    EXPECT_EQ(shown(model), (std::vector<std::string>{"nearby: d c a e", "tracked: b", "seen: f"}));
    EXPECT_EQ(std::pair(nearbyA.row(), nearbyA.parent().row()), std::pair(2, 0)) << "moved with its group and within it";
    EXPECT_EQ(d.row(), 0);

    model.setGroups({group("seen", {"f", "a"}), group("tracked", {"b", "a"})});
    EXPECT_EQ(shown(model), (std::vector<std::string>{"seen: f a", "tracked: b a"}));
    EXPECT_FALSE(nearbyA.isValid()) << "its group went; the a rows elsewhere are other rows";
    model.setGroups({});
    EXPECT_EQ(model.rowCount(), 0);
}

TEST_F(GroupedListModelTest, TextsForScreenReadersIncludeTheBadges) {
    SidebarGroup devices{QStringLiteral("tracked"), QStringLiteral("Tracked"), {}};
    devices.rows.push_back({QStringLiteral("k"), QStringLiteral("Keys"), {}, QStringLiteral("Last seen 10:00"),
                            {{QStringLiteral("location.fill"), QStringLiteral("Position received"), true},
                             {QStringLiteral("bell.badge.fill"), QStringLiteral("Signal-loss alert enabled")}}});
    model.setGroups({devices});
    const QModelIndex keys = model.index(0, 0, model.index(0, 0));
    QTreeView view;  // hovering the symbol-only badge tells what it means
    setUpSidebarView(view, model, QStringLiteral("list"), QStringLiteral("List"));
    view.resize(300, 200);
    view.expandAll();
    view.show();
    const QRect row = view.visualRect(keys);
    const QPoint badge(row.left() + 36 + 6, row.bottom() - 12);
    QHelpEvent hover(QEvent::ToolTip, badge, view.viewport()->mapToGlobal(badge));
    QApplication::sendEvent(view.viewport(), &hover);
    EXPECT_EQ(QToolTip::text(), "Position received");
    EXPECT_EQ(keys.data(Qt::AccessibleTextRole).toString(),
              "Keys, Last seen 10:00, Position received, Signal-loss alert enabled");
}

}  // namespace
}  // namespace corvane
