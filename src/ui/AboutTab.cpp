// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/AboutTab.h"

#include <QLabel>
#include <QVBoxLayout>

#include "ui/FormParts.h"
#include "ui/MetricGroup.h"

namespace corvane {
namespace {


const char* const kLegalNotice =
    "Copyright © 2026 the Corvane developers. Corvane is free software: you can redistribute it and/or modify "
    "it under the terms of the GNU General Public License as published by the Free Software Foundation, either "
    "version 3 of the License, or (at your option) any later version (GPL-3.0-or-later). It is distributed in the "
    "hope that it will be useful, but WITHOUT ANY WARRANTY; without even the implied warranty of MERCHANTABILITY "
    "or FITNESS FOR A PARTICULAR PURPOSE.\n\n"
    "Map tiles and data © OpenStreetMap contributors, available under the Open Database License (openstreetmap.org/"
    "copyright).\n\n"
    "Icons: drawn for Corvane by its developers and distributed under the same licence; symbol names follow "
    "Apple's SF Symbols naming, no Apple artwork is included.";

}  // namespace

AboutTab::AboutTab(const QString& version, QWidget* parent) : QWidget(parent) {
    QVBoxLayout* column = scrollingColumn(*this);

    auto* about = new MetricGroup(QStringLiteral("About"));
    auto* name = wrappedText(QStringLiteral("Corvane ") + (version.isEmpty() ? QStringLiteral("Development") : version), false);
    name->setObjectName(QStringLiteral("versionValue"));
    about->addRow(QStringLiteral("Version"), name);
    auto* notice = wrappedText(QString::fromUtf8(kLegalNotice), false);
    notice->setObjectName(QStringLiteral("legalNotice"));
    about->addRow(notice);
    column->addWidget(about);

    auto* types = new MetricGroup(QStringLiteral("Network types"));
    types->addRow(QStringLiteral("Meshtastic"),
                  wrappedText(QStringLiteral("Long-range positions and messages through a connected mesh radio."), false));
    types->addRow(QStringLiteral("Bluetooth"),
                  wrappedText(QStringLiteral("Nearby signal and the Mac location where a chosen device was last heard."), false));
    types->addRow(QStringLiteral("Local Network"),
                  wrappedText(QStringLiteral("Availability of Bonjour services on the same Wi-Fi or Ethernet network."), false));
    auto* note = wrappedText(QStringLiteral("A missing Bluetooth or Bonjour signal can also be caused by sleep, radio "
                                          "conditions or network changes; it is not proof that an item was moved."), true);
    types->addRow(note);
    column->addWidget(types);
    column->addStretch(1);
}

}  // namespace corvane
