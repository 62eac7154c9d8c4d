// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/MeshtasticSidebar.h"

#include <QHeaderView>
#include <QAction>
#include <QTreeView>
#include <QVBoxLayout>

#include "app/CorvaneModel.h"
#include "ui/EmptyState.h"
#include "ui/GroupedListModel.h"
#include "ui/NodeText.h"
#include "ui/SidebarRowDelegate.h"

namespace corvane {
namespace {

SidebarRow nodeRow(const CorvaneModel& model, const MeshNode& node, bool guarded, bool base, Timestamp now) {
    SidebarRow row;
    row.id = QString::number(node.number);
    row.title = QString::fromStdString(model.displayName(node.number));
    row.symbol = guarded ? QStringLiteral("bicycle")
               : base    ? QStringLiteral("cable.connector")
                         : QStringLiteral("sensor.tag.radiowaves.forward.fill");
    row.caption = NodeText::hexNumber(node.number);
    if (const QString heard = NodeText::lastHeard(node.number, model, now); !heard.isEmpty())
        row.caption += QStringLiteral(" · Last heard ") + heard;
    if (model.meshHealth().isSilent(node.number))
        row.badges.push_back({QStringLiteral("antenna.radiowaves.left.and.right.slash"), QStringLiteral("Silent")});
    if (!base && node.reachability(now, std::chrono::duration<double>(CorvaneModel::kNearbyWindow).count()).kind == MeshNodeReachability::Kind::directlyHeard)
        row.badges.push_back({QStringLiteral("dot.radiowaves.left.and.right"), QStringLiteral("Directly heard by the base")});
    if (node.position) row.badges.push_back({QStringLiteral("location.fill"), QStringLiteral("Position received"), true});
    return row;
}

std::vector<SidebarGroup> nodeGroups(const CorvaneModel& model, Timestamp now) {
    std::vector<SidebarGroup> groups;
    const auto local = model.localNodeID();
    const auto guarded = model.guardedNodeID();
    const MeshNode* baseNode = nullptr;
    const MeshNode* guardedNode = nullptr;
    for (const auto& node : model.nodes()) {
        if (node.number == local) baseNode = &node;
        if (node.number == guarded) guardedNode = &node;
    }
    if (local) {
        MeshNode unheard;
        unheard.number = *local;
        groups.push_back({QStringLiteral("base"), QStringLiteral("Base"),
                          {nodeRow(model, baseNode ? *baseNode : unheard, false, true, now)}});
    }
    if (guardedNode && guardedNode->number != local)
        groups.push_back({QStringLiteral("guarded"), QStringLiteral("Guarded device"),
                          {nodeRow(model, *guardedNode, true, false, now)}});
    const auto addGroup = [&](QString id, QString title, const std::vector<MeshNode>& nodes) {
        if (nodes.empty()) return;
        SidebarGroup group{std::move(id), std::move(title), {}};
        group.rows.reserve(nodes.size());
        for (const auto& node : nodes) group.rows.push_back(nodeRow(model, node, false, false, now));
        groups.push_back(std::move(group));
    };
    addGroup(QStringLiteral("nearby"), QStringLiteral("Nearby · directly heard"), model.directlyHeardNodes());
    addGroup(QStringLiteral("mesh"), QStringLiteral("Mesh nodes"), model.otherMeshNodes());
    return groups;
}

}  // namespace

MeshtasticSidebar::MeshtasticSidebar(CorvaneModel& model, EventLoop& loop, QWidget* parent)
    : PlaceholderStack(parent),
      model_(model),
      loop_(loop),
      list_(new GroupedListModel(this)),
      view_(new QTreeView),
      listPage_(new QWidget),
      noRemoteNodes_(new EmptyState) {
    placeholder().setObjectName(QStringLiteral("meshtasticNoBase"));
    placeholder().setContent(QStringLiteral("antenna.radiowaves.left.and.right.slash"), QStringLiteral("No Meshtastic base"),
                             QStringLiteral("Connect a Meshtastic radio by USB to load its nodes, positions and messages."));
    noRemoteNodes_->setObjectName(QStringLiteral("meshtasticNoRemoteNodes"));
    noRemoteNodes_->setContent(QStringLiteral("antenna.radiowaves.left.and.right"), QStringLiteral("No remote nodes heard"),
                               QStringLiteral("Trackers must use the same EU868 channel and key as the connected base."));

    setUpSidebarView(*view_, *list_, QStringLiteral("meshtasticNodeList"), QStringLiteral("Meshtastic nodes"));
    view_->setContextMenuPolicy(Qt::ActionsContextMenu);
    auto* message = new QAction(QStringLiteral("Message"), view_);
    message->setObjectName(QStringLiteral("messageNodeAction"));
    connect(message, &QAction::triggered, this, [this] {
        if (const auto node = currentNode()) emit messageRequested(*node);
    });
    auto* guard = new QAction(QStringLiteral("Guard This Device"), view_);
    guard->setObjectName(QStringLiteral("guardNodeAction"));
    connect(guard, &QAction::triggered, this, [this] {
        const auto number = currentNode();
        for (const auto& node : model_.nodes())
            if (node.number == number) model_.setGuarded(node);
    });
    view_->addActions({message, guard});
    connect(view_->selectionModel(), &QItemSelectionModel::currentChanged, this, [this] { selectionMoved(); });

    auto* listLayout = new QVBoxLayout(listPage_);
    listLayout->setContentsMargins(0, 0, 0, 0);
    listLayout->setSpacing(0);
    listLayout->addWidget(view_, 1);
    listLayout->addWidget(noRemoteNodes_, 1);

    addWidget(listPage_);
    refresh();
}

void MeshtasticSidebar::refresh() {
    const bool connected = model_.connectedPort().has_value();
    if (connected) {
        setCurrentWidget(listPage_);
    } else {
        showPlaceholder();
    }
    // Rows moving between groups drag the view's current row along; that is
    // not the user choosing a node.
    applyingSelection_ = true;
    list_->setGroups(connected ? nodeGroups(model_, loop_.now()) : std::vector<SidebarGroup>{});
    applyingSelection_ = false;

    const auto local = model_.localNodeID();
    const bool anyRemote =
        std::any_of(model_.nodes().begin(), model_.nodes().end(), [&](const MeshNode& node) { return node.number != local; });
    noRemoteNodes_->setVisible(!anyRemote);
    view_->setVisible(anyRemote || local.has_value());
    view_->setMaximumHeight(anyRemote ? QWIDGETSIZE_MAX : 90);

    // Show the model's selection; the view's own notice of it is ours, not
    // the user's.
    const auto selected = model_.selectedNodeID();
    applyingSelection_ = true;
    showSelection(*view_, *list_, selected ? QString::number(*selected) : QString());
    applyingSelection_ = false;
}

void MeshtasticSidebar::selectionMoved() {
    if (applyingSelection_) return;
    if (const auto node = currentNode()) model_.setSelectedNodeID(*node);
}

std::optional<std::uint32_t> MeshtasticSidebar::currentNode() const {
    const SidebarRow* row = list_->row(view_->selectionModel()->currentIndex());
    if (!row) return std::nullopt;
    return row->id.toUInt();
}

}  // namespace corvane
