// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/FormParts.h"

#include <QLabel>
#include <QScrollArea>
#include <QVBoxLayout>

namespace corvane {

QVBoxLayout* scrollingColumn(QWidget& page) {
    auto* body = new QWidget;
    auto* column = new QVBoxLayout(body);
    column->setContentsMargins(16, 16, 16, 16);
    column->setSpacing(12);
    auto* scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidget(body);
    auto* layout = new QVBoxLayout(&page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(scroll);
    return column;
}

QLabel* wrappedText(const QString& text, bool muted) {
    auto* label = new QLabel(text);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    if (muted) label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

}  // namespace corvane
