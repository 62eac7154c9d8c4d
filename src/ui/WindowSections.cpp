// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/WindowSections.h"

#include "ui/BluetoothSection.h"
#include "ui/LazySection.h"
#include "ui/LocalNetworkSection.h"
#include "ui/MeshtasticSection.h"
#include "ui/PlaceholderSection.h"

namespace corvane {

std::vector<std::unique_ptr<WindowSection>> makeWindowSections(UiContext& context) {
    // Only the section shown at start is built before the first paint.
    std::vector<std::unique_ptr<WindowSection>> sections;
    sections.push_back(std::make_unique<LazySection>(
        NetworkSection::bluetooth, [&context] { return std::make_unique<BluetoothSection>(context); }));
    sections.push_back(std::make_unique<LazySection>(
        NetworkSection::localNetwork, [&context] { return std::make_unique<LocalNetworkSection>(context); }));
    sections.push_back(std::make_unique<LazySection>(
        NetworkSection::meshtastic, [&context] { return std::make_unique<MeshtasticSection>(context); }));
    return sections;
}

}  // namespace corvane
