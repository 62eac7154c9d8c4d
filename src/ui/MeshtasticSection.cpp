// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/MeshtasticSection.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QStackedWidget>
#include <QToolButton>

#include "app/CorvaneModel.h"
#include "ui/MeshtasticInspector.h"
#include "ui/MeshtasticMapPane.h"
#include "ui/MeshtasticSidebar.h"
#include "ui/MessagesPane.h"
#include "ui/SegmentButton.h"
#include "ui/SymbolIcon.h"
#include "ui/UiContext.h"

namespace corvane {
namespace {

QToolButton* iconButton(const QString& name, const QString& symbol, const QString& help) {
    auto* button = new QToolButton;
    button->setObjectName(name);
    button->setIcon(SymbolIcon::icon(symbol));
    button->setToolTip(help);
    button->setAccessibleName(help);
    button->setAutoRaise(true);
    return button;
}

}  // namespace

MeshtasticSection::MeshtasticSection(UiContext& context)
    : context_(context),
      sidebar_(new MeshtasticSidebar(context.model, context.loop)),
      content_(new QStackedWidget),
      map_(new MeshtasticMapPane(context.model, context.defaults, context.tiles)),
      messages_(new MessagesPane(context.model)),
      inspector_(new MeshtasticInspector(context.model, context.loop)),
      toolbar_(nullptr) {
    toolbar_ = buildToolbar();
    content_->addWidget(map_);
    content_->addWidget(messages_);
    connect(sidebar_, &MeshtasticSidebar::messageRequested, this, &MeshtasticSection::messageNode);
    connect(inspector_, &MeshtasticInspector::messageRequested, this, &MeshtasticSection::messageNode);
    // Silence is declared on a timer of the health watch, not by a model
    // change; a packet changes both, and brings one refresh.
    refresher_ = std::make_unique<RefreshOnChange>(
        context.loop, std::initializer_list<ChangeSignal*>{&context.model.changed(), &context.model.meshHealth().changed()},
        [this] { refresh(); });
    // Built when first shown, perhaps long after the model's last change.
    refresh();
}

MeshtasticSection::~MeshtasticSection() = default;

QWidget* MeshtasticSection::buildToolbar() {
    auto* bar = new QWidget;
    auto* layout = new QHBoxLayout(bar);
    layout->setContentsMargins(12, 0, 0, 0);
    mapButton_ = new SegmentButton(QStringLiteral("mapPaneButton"), QStringLiteral("Map"));
    messagesButton_ = new SegmentButton(QStringLiteral("messagesPaneButton"), QStringLiteral("Messages"));
    auto* panes = new QButtonGroup(bar);
    layout->setSpacing(2);
    for (QToolButton* button : {mapButton_, messagesButton_}) {
        panes->addButton(button);
        layout->addWidget(button);
    }
    mapButton_->setChecked(true);
    connect(mapButton_, &QToolButton::clicked, this, [this] { showPane(Pane::map); });
    connect(messagesButton_, &QToolButton::clicked, this, [this] { showPane(Pane::messages); });
    layout->addSpacing(12);
    fitButton_ = iconButton(QStringLiteral("fitButton"), QStringLiteral("viewfinder"),
                            QStringLiteral("Fit Meshtastic devices on map"));
    fitButton_->setAccessibleDescription(QStringLiteral("Show all positioned Meshtastic devices"));
    connect(fitButton_, &QToolButton::clicked, this, [this] { run(Command::fit); });
    auto* reconnect = iconButton(QStringLiteral("reconnectButton"), QStringLiteral("arrow.clockwise"),
                                 QStringLiteral("Reconnect Meshtastic USB base"));
    connect(reconnect, &QToolButton::clicked, this, [this] { run(Command::reconnect); });
    layout->addWidget(fitButton_);
    layout->addWidget(reconnect);
    return bar;
}

QWidget* MeshtasticSection::sidebar() { return sidebar_; }
QWidget* MeshtasticSection::content() { return content_; }
QWidget* MeshtasticSection::inspector() { return inspector_; }
QWidget* MeshtasticSection::toolbarControls() { return toolbar_; }

bool MeshtasticSection::supports(Command command) const {
    return command == Command::fit || command == Command::reconnect;
}

void MeshtasticSection::run(Command command) {
    switch (command) {
    case Command::fit:
        showPane(Pane::map);
        map_->fitDevices();
        break;
    case Command::reconnect: context_.model.connect(std::nullopt, true); break;
    case Command::scan: break;
    }
}

void MeshtasticSection::showPane(Pane pane) {
    content_->setCurrentIndex(pane == Pane::map ? 0 : 1);
    mapButton_->setChecked(pane == Pane::map);
    messagesButton_->setChecked(pane == Pane::messages);
}

void MeshtasticSection::messageNode(std::uint32_t node) {
    context_.model.setMessageRecipient(node);
    showPane(Pane::messages);
    messages_->focusDraft();
}

void MeshtasticSection::refresh() {
    sidebar_->refresh();
    map_->refresh();
    messages_->refresh();
    inspector_->refresh();
    emit statusChanged();
}

void MeshtasticSection::prepareToQuit() { map_->saveRegion(); }

QString MeshtasticSection::statusLine() const {
    const auto& model = context_.model;
    QString line = QStringLiteral("Meshtastic: ") + QString::fromStdString(model.connectionState());
    if (model.connectedPort()) line += QStringLiteral(" · ") + QString::fromStdString(*model.connectedPort());
    return line;
}

QString MeshtasticSection::errorLine() const {
    return QString::fromStdString(context_.model.errorMessage().value_or(std::string()));
}

void MeshtasticSection::dismissError() { context_.model.setErrorMessage(std::nullopt); }

}  // namespace corvane
