// SPDX-License-Identifier: GPL-3.0-or-later
// The sidebar model under Qt's model checker through refreshes that add,
// move and drop rows and groups, and the view over it keeping the row the
// user is on.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QKeyEvent>
#include <QPersistentModelIndex>
#include <QTreeView>

#include "ui/GroupedListModel.h"
#include "ui/SidebarRowDelegate.h"

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
    static void SetUpTestSuite() {
        if (!QApplication::instance()) {
            static int argc = 1;
            static char name[] = "grouped-list-model-test";
            static char* argv[] = {name, nullptr};
            new QApplication(argc, argv);
        }
    }
    GroupedListModel model;
    QAbstractItemModelTester tester{&model, QAbstractItemModelTester::FailureReportingMode::Fatal};
};

TEST_F(GroupedListModelTest, RefreshesKeepTheModelConsistentAndRowsFollowTheirThing) {
    model.setGroups({group("tracked", {"a", "b"}), group("nearby", {"a", "c", "d"})});
    const QPersistentModelIndex nearbyA = model.index(0, 0, model.index(1, 0));
    const QPersistentModelIndex d = model.index(2, 0, model.index(1, 0));
    ASSERT_EQ(nearbyA.data(GroupedListModel::IdRole).toString(), "a");

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
    EXPECT_EQ(keys.data(Qt::AccessibleTextRole).toString(),
              "Keys, Last seen 10:00, Position received, Signal-loss alert enabled");
    const QVariantList badges = keys.data(GroupedListModel::BadgesRole).toList();
    ASSERT_EQ(badges.size(), 2);
    EXPECT_EQ(badges[0].toStringList(), (QStringList{"location.fill", "", "Position received"})) << "the symbol alone";
    EXPECT_EQ(badges[1].toStringList()[1], "Signal-loss alert enabled");
}

// The same thing listed in two groups: the arrow keys walk from one of its
// rows to the other and on, while the owner shows its choice back after
// each step, as a section does on every refresh.
TEST_F(GroupedListModelTest, ArrowKeysPassBetweenTwoRowsOfOneThing) {
    QTreeView view;
    setUpSidebarView(view, model, QStringLiteral("list"), QStringLiteral("List"));
    view.resize(300, 400);
    model.setGroups({group("tracked", {"a"}), group("nearby", {"a", "c"})});
    QString chosen = QStringLiteral("a");
    bool showing = false;
    QObject::connect(view.selectionModel(), &QItemSelectionModel::currentChanged, [&](const QModelIndex& current) {
        if (showing) return;
        if (const SidebarRow* row = model.row(current)) chosen = row->id;
        showing = true;
        showSelection(view, model, chosen);
        showing = false;
    });
    showSelection(view, model, chosen);
    ASSERT_EQ(view.currentIndex().parent().row(), 0);

    const auto press = [&](int key) {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(&view, &event);
        showSelection(view, model, chosen);
        return std::pair(view.currentIndex().parent().row(), chosen.toStdString());
    };
    EXPECT_EQ(press(Qt::Key_Down), std::pair(1, std::string("a"))) << "onto the nearby row of the same thing";
    EXPECT_EQ(press(Qt::Key_Down), std::pair(1, std::string("c")));
    EXPECT_EQ(press(Qt::Key_Up), std::pair(1, std::string("a")));
    EXPECT_EQ(press(Qt::Key_Up), std::pair(0, std::string("a")));

    // Another thing chosen elsewhere (a map marker, a button): its first row.
    chosen = QStringLiteral("c");
    showSelection(view, model, chosen);
    EXPECT_EQ(model.row(view.currentIndex())->id, "c");
    showing = true;
    showSelection(view, model, {});
    EXPECT_FALSE(view.selectionModel()->hasSelection());
}

}  // namespace
}  // namespace corvane
