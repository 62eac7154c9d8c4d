// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A titled group of label–value rows (the inspectors' "Status", the
// settings' "Connection"); values are plain text, never rich text.
#include <QGroupBox>

class QFormLayout;
class QLabel;

namespace corvane {

class MetricGroup : public QGroupBox {
    Q_OBJECT
public:
    explicit MetricGroup(const QString& title, QWidget* parent = nullptr);

    // A value label under `label`; the value's object name is `name`.
    QLabel* addMetric(const QString& label, const QString& name);
    void addRow(const QString& label, QWidget* field);
    void addRow(QWidget* wide);
    QFormLayout* form() const { return form_; }

private:
    QFormLayout* form_;
};

}  // namespace corvane
