// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Local Network section: device list, device card and inspector over
// the model's LocalNetworkBrowser. Browsing follows the section, so
// departure alerts run only while it is shown. The selected device is the section's own view state.
#include <string>

#include "ui/ScanningSection.h"

namespace corvane {

struct UiContext;
class LocalNetworkBrowser;
class LocalNetworkDetail;
class LocalNetworkInspector;
class LocalNetworkSidebar;
struct LocalNetworkDevice;

class LocalNetworkSection : public ScanningSection {
    Q_OBJECT
public:
    explicit LocalNetworkSection(UiContext& context);

    NetworkSection section() const override { return NetworkSection::localNetwork; }
    QString errorLine() const override;
    void dismissError() override;

    void select(std::string id);
    void refresh() override;

private:
    bool isScanning() const override;
    void setScanning(bool on) override;
    std::string watcherState() const override;
    void selectFirstTracked() override;
    const LocalNetworkDevice* selectedDevice() const;

    LocalNetworkBrowser& browser_;
    LocalNetworkSidebar* sidebar_;
    LocalNetworkDetail* content_;
    LocalNetworkInspector* inspector_;
    std::string selectedID_;
};

}  // namespace corvane
