// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/LocalNetworkSection.h"

#include <algorithm>

#include "app/CorvaneModel.h"
#include "ui/LocalNetworkDetail.h"
#include "ui/LocalNetworkInspector.h"
#include "ui/LocalNetworkSidebar.h"
#include "ui/UiContext.h"

namespace corvane {

LocalNetworkSection::LocalNetworkSection(UiContext& context)
    : ScanningSection(QStringLiteral("localNetworkScanButton"), QStringLiteral("Listen for Bonjour devices on this network")),
      browser_(context.model.localNetwork()),
      sidebar_(new LocalNetworkSidebar(browser_)),
      content_(new LocalNetworkDetail(browser_)),
      inspector_(new LocalNetworkInspector(browser_)) {
    setPanes(sidebar_, content_, inspector_);
    connect(sidebar_, &LocalNetworkSidebar::selected, this, [this](const QString& id) { select(id.toStdString()); });
    connect(inspector_, &LocalNetworkInspector::forgotten, this, [this] { select({}); });
    refreshOn(context.loop, browser_.changed());
}

bool LocalNetworkSection::isScanning() const { return browser_.isScanning(); }

void LocalNetworkSection::setScanning(bool on) { on ? browser_.start() : browser_.stop(); }

std::string LocalNetworkSection::watcherState() const { return browser_.state(); }

void LocalNetworkSection::selectFirstTracked() {
    if (selectedDevice()) return;
    const auto& devices = browser_.devices();
    const auto tracked = std::find_if(devices.begin(), devices.end(),
                                      [](const LocalNetworkDevice& device) { return device.isTracked; });
    select(tracked == devices.end() ? std::string() : tracked->id);
}

void LocalNetworkSection::select(std::string id) {
    selectedID_ = std::move(id);
    refresh();
}

const LocalNetworkDevice* LocalNetworkSection::selectedDevice() const {
    for (const auto& device : browser_.devices()) {
        if (device.id == selectedID_) return &device;
    }
    return nullptr;
}

void LocalNetworkSection::refresh() {
    const LocalNetworkDevice* device = selectedDevice();
    sidebar_->refresh(device ? QString::fromStdString(device->id) : QString());
    content_->refresh(device);
    inspector_->refresh(device);
    emit statusChanged();
}

QString LocalNetworkSection::errorLine() const {
    return QString::fromStdString(browser_.errorMessage().value_or(std::string()));
}

void LocalNetworkSection::dismissError() { browser_.dismissError(); }

}  // namespace corvane
