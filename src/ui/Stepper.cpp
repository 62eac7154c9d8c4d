// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Stepper.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>
#include <algorithm>

namespace corvane {

Stepper::Stepper(std::int64_t minimum, std::int64_t maximum, Format format, const QString& accessibleName,
                 QWidget* parent)
    : QWidget(parent),
      minimum_(minimum),
      maximum_(maximum),
      format_(std::move(format)),
      label_(new QLabel),
      down_(new QToolButton),
      up_(new QToolButton) {
    down_->setText(QStringLiteral("−"));
    up_->setText(QStringLiteral("+"));
    down_->setToolTip(QStringLiteral("Decrease ") + accessibleName);
    up_->setToolTip(QStringLiteral("Increase ") + accessibleName);
    down_->setAccessibleName(down_->toolTip());
    up_->setAccessibleName(up_->toolTip());
    connect(down_, &QToolButton::clicked, this, [this] { step(-1); });
    connect(up_, &QToolButton::clicked, this, [this] { step(+1); });
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(label_, 1);
    layout->addWidget(down_);
    layout->addWidget(up_);
    setValue(minimum);
}

void Stepper::setValue(std::int64_t value) {
    value_ = value;
    label_->setText(format_(value));
    down_->setEnabled(value > minimum_);
    up_->setEnabled(value < maximum_);
}

void Stepper::step(std::int64_t delta) {
    const std::int64_t next = std::clamp(value_ + delta, minimum_, maximum_);
    setValue(next);
    emit valueChosen(next);
}

}  // namespace corvane
