// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/LocalNetworkText.h"

#include "ui/DateText.h"

namespace corvane::LocalNetworkText {

QString kindSymbol(const LocalNetworkDevice& device) {
    const auto symbol = systemImage(device.kind());
    return QString::fromUtf8(symbol.data(), static_cast<qsizetype>(symbol.size()));
}

QString lastSeen(const LocalNetworkDevice& device) {
    return device.lastSeen ? DateText::abbreviated(*device.lastSeen) : QStringLiteral("Not currently seen");
}

}  // namespace corvane::LocalNetworkText
