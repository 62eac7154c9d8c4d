// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window's three sections; the persisted setting
// "main.selectedNetwork" holds the title.
#include <QString>
#include <array>
#include <optional>

namespace corvane {

enum class NetworkSection { bluetooth, localNetwork, meshtastic };

inline constexpr std::array kAllNetworkSections{NetworkSection::bluetooth, NetworkSection::localNetwork,
                                                NetworkSection::meshtastic};

inline QString title(NetworkSection section) {
    switch (section) {
    case NetworkSection::bluetooth: return QStringLiteral("Bluetooth");
    case NetworkSection::localNetwork: return QStringLiteral("Local Network");
    case NetworkSection::meshtastic: return QStringLiteral("Meshtastic");
    }
    return {};
}

inline std::optional<NetworkSection> networkSectionFromTitle(const QString& text) {
    for (const auto section : kAllNetworkSections)
        if (title(section) == text) return section;
    return std::nullopt;
}

}  // namespace corvane
