// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/PlaceholderStack.h"

#include "ui/EmptyState.h"

namespace corvane {

PlaceholderStack::PlaceholderStack(QWidget* parent) : QStackedWidget(parent), placeholder_(new EmptyState) {
    addWidget(placeholder_);
}

void PlaceholderStack::showPlaceholder() { setCurrentWidget(placeholder_); }

void PlaceholderStack::showPlaceholder(const QString& symbol, const QString& title, const QString& text) {
    placeholder_->setContent(symbol, title, text);
    setCurrentWidget(placeholder_);
}

}  // namespace corvane
