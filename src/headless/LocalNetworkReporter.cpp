// SPDX-License-Identifier: GPL-3.0-or-later
#include "headless/LocalNetworkReporter.h"

#include <utility>

namespace corvane {

LocalNetworkReporter::LocalNetworkReporter(LocalNetworkBrowser& browser, EventLoop& loop, Printer print,
                                           const std::vector<std::string>& trackNames)
    : browser_(browser), print_(std::move(print)), pendingReport_(loop, [this] { report(); }) {
    // The domain is left out: a name on the command line means that name in
    // whatever domain it is announced.
    for (const auto& name : trackNames) trackNames_.insert(LocalNetworkDevice::identifier(name, ""));
    subscription_ = browser_.changed().subscribe([this] { pendingReport_.request(); });
    pendingReport_.request();
}

void LocalNetworkReporter::report() {
    if (browser_.state() != state_) {
        state_ = browser_.state();
        print_("Local Network: " + *state_);
    }
    if (browser_.errorMessage() != errorMessage_) {
        errorMessage_ = browser_.errorMessage();
        if (errorMessage_) print_("Local Network error: " + *errorMessage_);
    }
    for (const auto& device : browser_.devices()) {
        const auto known = online_.find(device.id);
        if (known == online_.end()) {
            if (!device.isOnline) continue;
            online_.emplace(device.id, true);
            std::string interfaces;
            for (const auto& name : device.interfaceNames) interfaces += (interfaces.empty() ? " on " : ", ") + name;
            print_("Seen on the Local Network: " + device.name + " (" + device.serviceSummary() + ")" + interfaces);
            continue;
        }
        if (known->second == device.isOnline) continue;
        known->second = device.isOnline;
        print_(device.name + (device.isOnline ? " is online" : " is offline"));
    }
    trackNamedDevices();
}

void LocalNetworkReporter::trackNamedDevices() {
    for (const auto& device : browser_.devices()) {
        if (!device.isOnline || armed_.contains(device.id)) continue;
        if (!trackNames_.contains(LocalNetworkDevice::identifier(device.name, ""))) continue;
        armed_.insert(device.id);
        if (!device.isTracked || !device.lossAlertEnabled) browser_.setLossAlert(true, device.id);
        print_("Tracking " + device.name + ": alert when it has left the network for " +
               LocalNetworkBrowser::durationText(device.lossAlertDelay));
    }
}

}  // namespace corvane
