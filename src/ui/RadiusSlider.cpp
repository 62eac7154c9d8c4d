// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/RadiusSlider.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>
#include <cmath>

#include "ui/NodeText.h"

namespace corvane {

RadiusSlider::RadiusSlider(int sliderWidth, QWidget* parent) : QWidget(parent), slider_(new QSlider(Qt::Horizontal)), value_(new QLabel) {
    slider_->setRange(kMinimum / kStep, kMaximum / kStep);
    slider_->setPageStep(4);
    slider_->setFixedWidth(sliderWidth);
    value_->setFixedWidth(60);
    value_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    value_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(slider_);
    layout->addWidget(value_);
    layout->addStretch(1);
    connect(slider_, &QSlider::valueChanged, this, [this](int steps) {
        const double metres = steps * kStep;
        value_->setText(NodeText::metres(metres));
        emit radiusChosen(metres);
    });
}

void RadiusSlider::setRadius(double metres) {
    const QSignalBlocker blocker(slider_);
    if (std::isfinite(metres)) slider_->setValue(static_cast<int>(std::lround(metres / kStep)));
    value_->setText(NodeText::metres(metres));
    slider_->setAccessibleDescription(value_->text());
}

}  // namespace corvane
