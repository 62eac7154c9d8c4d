// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Meshtastic section's node list: the base, the guarded device, nodes
// heard directly and the rest of the mesh, with the placeholders for "no
// base" and "no remote node". Selecting a row selects the node in the model;
// the model's selection is shown back after every refresh. Its context menu
// offers "Message" and "Guard This Device" for the row under the pointer
// (a right click selects it first).
#include <cstdint>
#include <optional>

#include "ui/PlaceholderStack.h"

class QTreeView;

namespace corvane {

class CorvaneModel;
class EventLoop;
class EmptyState;
class GroupedListModel;

class MeshtasticSidebar : public PlaceholderStack {
    Q_OBJECT
public:
    MeshtasticSidebar(CorvaneModel& model, EventLoop& loop, QWidget* parent = nullptr);

    void refresh();
    GroupedListModel& listModel() { return *list_; }

signals:
    void messageRequested(std::uint32_t node);

private:
    void selectionMoved();
    std::optional<std::uint32_t> currentNode() const;

    CorvaneModel& model_;
    EventLoop& loop_;
    GroupedListModel* list_;
    QTreeView* view_;
    QWidget* listPage_;
    EmptyState* noRemoteNodes_;
    bool applyingSelection_ = false;
};

}  // namespace corvane
