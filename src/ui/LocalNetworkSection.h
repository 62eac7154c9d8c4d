// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Local Network section: device list, device card and inspector over
// the model's LocalNetworkBrowser, refreshed once per loop turn. Browsing
// follows the section: entering it starts a scan, leaving it stops the scan
// (so departure alerts run only while it is shown); "Scan" toggles it in
// between. The selected device is the section's own view state.
#include <memory>
#include <string>

#include "ui/RefreshOnChange.h"
#include "ui/WindowSection.h"

class QToolButton;

namespace corvane {

struct UiContext;
class LocalNetworkBrowser;
class LocalNetworkDetail;
class LocalNetworkInspector;
class LocalNetworkSidebar;
struct LocalNetworkDevice;

class LocalNetworkSection : public WindowSection {
    Q_OBJECT
public:
    explicit LocalNetworkSection(UiContext& context);
    ~LocalNetworkSection() override;

    NetworkSection section() const override { return NetworkSection::localNetwork; }
    QWidget* sidebar() override;
    QWidget* content() override;
    QWidget* inspector() override;
    QWidget* toolbarControls() override;

    bool supports(Command command) const override { return command == Command::scan; }
    void run(Command command) override;
    void activate() override;
    void deactivate() override;

    QString statusLine() const override;
    QString errorLine() const override;
    void dismissError() override;

    void select(std::string id);
    void refresh();

private:
    const LocalNetworkDevice* selectedDevice() const;

    LocalNetworkBrowser& browser_;
    LocalNetworkSidebar* sidebar_;
    LocalNetworkDetail* content_;
    LocalNetworkInspector* inspector_;
    QToolButton* scan_;
    std::string selectedID_;
    std::unique_ptr<RefreshOnChange> refresher_;
};

}  // namespace corvane
