// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Meshtastic section: node list, map or messages, and the node
// inspector, refreshed once per loop turn from the model and its health
// watch. Its toolbar part switches between map and messages and holds the fit
// and reconnect buttons.
#include <memory>

#include "ui/RefreshOnChange.h"
#include "ui/WindowSection.h"

class QStackedWidget;
class QToolButton;

namespace corvane {

struct UiContext;
class MeshtasticInspector;
class MeshtasticMapPane;
class MeshtasticSidebar;
class MessagesPane;

class MeshtasticSection : public WindowSection {
    Q_OBJECT
public:
    enum class Pane { map, messages };

    explicit MeshtasticSection(UiContext& context);
    ~MeshtasticSection() override;

    NetworkSection section() const override { return NetworkSection::meshtastic; }
    QWidget* sidebar() override;
    QWidget* content() override;
    QWidget* inspector() override;
    QWidget* toolbarControls() override;

    bool supports(Command command) const override;
    void run(Command command) override;
    void prepareToQuit() override;

    QString statusLine() const override;
    QString errorLine() const override;
    void dismissError() override;

    void showPane(Pane pane);
    // Makes `node` the message recipient and shows the messages.
    void messageNode(std::uint32_t node);
    void refresh();

private:
    QWidget* buildToolbar();

    UiContext& context_;
    MeshtasticSidebar* sidebar_;
    QStackedWidget* content_;
    MeshtasticMapPane* map_;
    MessagesPane* messages_;
    MeshtasticInspector* inspector_;
    QWidget* toolbar_;
    QToolButton* mapButton_ = nullptr;
    QToolButton* messagesButton_ = nullptr;
    QToolButton* fitButton_ = nullptr;
    std::unique_ptr<RefreshOnChange> refresher_;
};

}  // namespace corvane
