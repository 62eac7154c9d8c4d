// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/EmptyState.h"

#include <QLabel>
#include <QVBoxLayout>

#include "ui/SymbolLabel.h"

namespace corvane {

EmptyState::EmptyState(QWidget* parent)
    : QWidget(parent),
      icon_(new SymbolLabel(44, QPalette::PlaceholderText, this)),
      title_(new QLabel(this)),
      text_(new QLabel(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->addStretch(1);
    layout->addWidget(icon_, 0, Qt::AlignHCenter);
    for (QLabel* label : {title_, text_}) {
        label->setAlignment(Qt::AlignHCenter);
        label->setTextFormat(Qt::PlainText);
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
}

void EmptyState::setContent(const QString& symbol, const QString& title, const QString& text) {
    icon_->setSymbol(symbol);
    title_->setText(title);
    title_->setVisible(!title.isEmpty());
    text_->setText(text);
    text_->setVisible(!text.isEmpty());
    setAccessibleName(title);
}

QString EmptyState::title() const { return title_->text(); }

}  // namespace corvane
