// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/SegmentButton.h"

#include <QPainter>
#include <QStyleOptionFocusRect>

namespace corvane {

SegmentButton::SegmentButton(const QString& objectName, const QString& text, QWidget* parent) : QToolButton(parent) {
    setObjectName(objectName);
    setText(text);
    setCheckable(true);
    setToolButtonStyle(Qt::ToolButtonTextOnly);
    setFocusPolicy(Qt::StrongFocus);
}

QSize SegmentButton::sizeHint() const {
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(text()) + 20, metrics.height() + 10};
}

void SegmentButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const QPalette& colors = palette();
    QColor fill = isChecked() ? colors.color(QPalette::Highlight) : colors.color(QPalette::Button);
    if (!isEnabled()) fill.setAlpha(120);
    else if (isDown()) fill = fill.darker(115);
    else if (underMouse() && !isChecked()) fill = fill.lighter(108);
    painter.setPen(isChecked() ? fill : colors.color(QPalette::Mid));
    painter.setBrush(fill);
    painter.drawRoundedRect(box, 4, 4);
    painter.setPen(colors.color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                                isChecked() ? QPalette::HighlightedText : QPalette::ButtonText));
    painter.drawText(rect(), Qt::AlignCenter, text());
    if (hasFocus()) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = rect().adjusted(2, 2, -2, -2);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
}

}  // namespace corvane
