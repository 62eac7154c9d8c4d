// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/PlaceholderSection.h"

#include "ui/EmptyState.h"

namespace corvane {

PlaceholderSection::PlaceholderSection(NetworkSection section)
    : section_(section), sidebar_(new EmptyState), content_(new EmptyState), inspector_(new QWidget) {
    const QString symbol = section == NetworkSection::bluetooth ? QStringLiteral("dot.radiowaves.left.and.right")
                                                                : QStringLiteral("network");
    const QString name = title(section);
    sidebar_->setObjectName(QStringLiteral("placeholderSidebar"));
    sidebar_->setContent(symbol, name, {});
    content_->setContent(symbol, name, {});
}

QWidget* PlaceholderSection::sidebar() { return sidebar_; }
QWidget* PlaceholderSection::content() { return content_; }
QWidget* PlaceholderSection::inspector() { return inspector_; }

}  // namespace corvane
