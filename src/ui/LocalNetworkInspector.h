// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Local Network inspector: the selected device's status, its tracking
// controls (alert toggle, "Alert after" picker, monitoring status, stop
// tracking), its services and "Forget Device". Every control calls one
// browser operation; browser values are shown with the controls' signals
// blocked. A stored delay the picker does not list (a minute from an older
// file, say) is shown as an entry of its own rather than a blank.
#include <QVariant>
#include <string>
#include <utility>
#include <vector>

#include "core/LocalNetworkDevice.h"
#include "ui/PlaceholderStack.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QVBoxLayout;

namespace corvane {

class LocalNetworkBrowser;
class MetricGroup;
class SymbolLabel;

class LocalNetworkInspector : public PlaceholderStack {
    Q_OBJECT
public:
    explicit LocalNetworkInspector(LocalNetworkBrowser& browser, QWidget* parent = nullptr);

    void refresh(const LocalNetworkDevice* device);

signals:
    void forgotten();

private:
    void buildDetails(QVBoxLayout& column);
    void showServices(const std::vector<std::string>& serviceTypes);

    LocalNetworkBrowser& browser_;
    QWidget* details_;
    SymbolLabel* icon_;
    QLabel* name_;
    QLabel* state_;
    QLabel* lastSeen_;
    QLabel* domain_;
    QLabel* interfaces_;
    QPushButton* track_;
    QWidget* trackedControls_;
    QCheckBox* alert_;
    QComboBox* delay_;
    QWidget* monitorRow_;
    QLabel* monitor_;
    MetricGroup* services_;
    QVBoxLayout* serviceRows_;
    std::vector<std::pair<QString, QVariant>> shownDelays_;
    std::vector<std::string> shownServices_;
    std::string shown_;
};

}  // namespace corvane
