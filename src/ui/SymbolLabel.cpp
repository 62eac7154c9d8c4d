// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/SymbolLabel.h"

#include <QEvent>
#include <QPainter>

#include "ui/SymbolIcon.h"

namespace corvane {

SymbolLabel::SymbolLabel(int size, QPalette::ColorRole role, QWidget* parent)
    : QWidget(parent), size_(size), role_(role) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void SymbolLabel::setSymbol(const QString& symbol) {
    if (symbol == symbol_) return;
    symbol_ = symbol;
    update();
}

QSize SymbolLabel::sizeHint() const { return {size_, size_}; }

void SymbolLabel::paintEvent(QPaintEvent*) {
    if (symbol_.isEmpty()) return;
    QPainter painter(this);
    const QRect square(QPoint((width() - size_) / 2, (height() - size_) / 2), QSize(size_, size_));
    // The widget's own palette: a theme change reaches it before the
    // application palette is read elsewhere.
    SymbolIcon::icon(symbol_, palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, role_))
        .paint(&painter, square);
}

void SymbolLabel::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::EnabledChange) update();
}

}  // namespace corvane
