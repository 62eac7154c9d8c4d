// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/WindowSections.h"

#include "ui/BluetoothSection.h"
#include "ui/LocalNetworkSection.h"
#include "ui/MeshtasticSection.h"
#include "ui/PlaceholderSection.h"

namespace corvane {

std::vector<std::unique_ptr<WindowSection>> makeWindowSections(UiContext& context) {
    std::vector<std::unique_ptr<WindowSection>> sections;
    sections.push_back(std::make_unique<BluetoothSection>(context));
    sections.push_back(std::make_unique<LocalNetworkSection>(context));
    sections.push_back(std::make_unique<MeshtasticSection>(context));
    return sections;
}

}  // namespace corvane
