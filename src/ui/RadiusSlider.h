// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A radius in metres: a slider from 25 to 500 in steps of 25 and the value
// as "N m". The label shows the value it was given even when the slider
// cannot (120 sits between two steps); only a move by the user is reported.
// The slider counts in metres, so assistive technology reads "150", not the
// sixth step, and it carries the name of what it sets.
#include <QWidget>

class QLabel;
class QSlider;

namespace corvane {

class RadiusSlider : public QWidget {
    Q_OBJECT
public:
    static constexpr int kStep = 25;
    static constexpr int kMinimum = 25;
    static constexpr int kMaximum = 500;

    RadiusSlider(int sliderWidth, const QString& accessibleName, QWidget* parent = nullptr);

    void setRadius(double metres);
    QSlider* slider() const { return slider_; }

signals:
    void radiusChosen(double metres);

private:
    QSlider* slider_;
    QLabel* value_;
};

}  // namespace corvane
