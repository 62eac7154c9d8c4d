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

RadiusSlider::RadiusSlider(int sliderWidth, const QString& accessibleName, QWidget* parent)
    : QWidget(parent), slider_(new QSlider(Qt::Horizontal)), value_(new QLabel) {
    slider_->setRange(kMinimum, kMaximum);
    slider_->setSingleStep(kStep);
    slider_->setPageStep(4 * kStep);
    slider_->setAccessibleName(accessibleName);
    slider_->setFixedWidth(sliderWidth);
    value_->setFixedWidth(60);
    value_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    value_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(slider_);
    layout->addWidget(value_);
    layout->addStretch(1);
    connect(slider_, &QSlider::valueChanged, this, [this](int metres) {
        // A drag passes every metre: only whole steps are chosen.
        const int snapped = static_cast<int>(std::lround(double(metres) / kStep)) * kStep;
        if (snapped != metres) return slider_->setValue(snapped);
        value_->setText(NodeText::metres(metres));
        slider_->setAccessibleDescription(value_->text());
        emit radiusChosen(metres);
    });
}

void RadiusSlider::setRadius(double metres) {
    const QSignalBlocker blocker(slider_);
    if (std::isfinite(metres)) slider_->setValue(static_cast<int>(std::lround(metres / kStep)) * kStep);
    value_->setText(NodeText::metres(metres));
    slider_->setAccessibleDescription(value_->text());
}

}  // namespace corvane
