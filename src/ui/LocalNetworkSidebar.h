// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Local Network section's device list in three groups, "Tracked",
// "Available now" and "Seen before", each in the browser's order, with the
// placeholders for an empty list while scanning and while idle. The
// selection is the section's: shown back after every refresh, and a row
// the user picks is announced with `selected`.
#include <QString>
#include <QWidget>

class QStackedWidget;
class QTreeView;

namespace corvane {

class EmptyState;
class GroupedListModel;
class LocalNetworkBrowser;

class LocalNetworkSidebar : public QWidget {
    Q_OBJECT
public:
    explicit LocalNetworkSidebar(LocalNetworkBrowser& browser, QWidget* parent = nullptr);

    void refresh(const QString& selectedID);
    GroupedListModel& listModel() { return *list_; }

signals:
    void selected(const QString& id);

private:
    LocalNetworkBrowser& browser_;
    GroupedListModel* list_;
    QTreeView* view_;
    QStackedWidget* pages_;
    EmptyState* empty_;
    bool applyingSelection_ = false;
};

}  // namespace corvane
