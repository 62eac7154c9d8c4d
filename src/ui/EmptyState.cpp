// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/EmptyState.h"

#include <QEvent>
#include <QLabel>
#include <QVBoxLayout>

#include "ui/SymbolIcon.h"

namespace corvane {

EmptyState::EmptyState(QWidget* parent)
    : QWidget(parent), icon_(new QLabel(this)), title_(new QLabel(this)), text_(new QLabel(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->addStretch(1);
    for (QLabel* label : {icon_, title_, text_}) {
        label->setAlignment(Qt::AlignHCenter);
        layout->addWidget(label);
    }
    layout->addStretch(1);
    QFont titleFont = title_->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.25);
    titleFont.setBold(true);
    title_->setFont(titleFont);
    title_->setWordWrap(true);
    text_->setWordWrap(true);
    text_->setForegroundRole(QPalette::PlaceholderText);
    icon_->setForegroundRole(QPalette::PlaceholderText);
}

void EmptyState::setContent(const QString& symbol, const QString& title, const QString& text) {
    if (symbol != symbol_) {
        symbol_ = symbol;
        icon_->setPixmap(SymbolIcon::icon(symbol, QPalette::PlaceholderText).pixmap(QSize(44, 44), devicePixelRatioF()));
    }
    title_->setText(title);
    title_->setVisible(!title.isEmpty());
    text_->setText(text);
    text_->setVisible(!text.isEmpty());
    setAccessibleName(title);
}

// The symbol is a pixmap in the palette's colour: redraw it for a new one.
void EmptyState::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() != QEvent::PaletteChange || symbol_.isEmpty()) return;
    icon_->setPixmap(SymbolIcon::icon(symbol_, QPalette::PlaceholderText).pixmap(QSize(44, 44), devicePixelRatioF()));
}

QString EmptyState::title() const { return title_->text(); }

}  // namespace corvane
