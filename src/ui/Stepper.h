// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A whole number with − and + buttons inside a range. A value from outside
// the range is shown as it is; a press moves it into the range. Only presses
// are reported, never the values it is given.
#include <QWidget>
#include <cstdint>
#include <functional>

class QLabel;
class QToolButton;

namespace corvane {

class Stepper : public QWidget {
    Q_OBJECT
public:
    using Format = std::function<QString(std::int64_t)>;

    Stepper(std::int64_t minimum, std::int64_t maximum, Format format, const QString& accessibleName,
            QWidget* parent = nullptr);

    void setValue(std::int64_t value);
    std::int64_t value() const { return value_; }
    QToolButton* decrement() const { return down_; }
    QToolButton* increment() const { return up_; }

signals:
    void valueChosen(std::int64_t value);

private:
    void step(std::int64_t delta);

    std::int64_t minimum_;
    std::int64_t maximum_;
    Format format_;
    std::int64_t value_ = 0;
    QLabel* label_;
    QToolButton* down_;
    QToolButton* up_;
};

}  // namespace corvane
