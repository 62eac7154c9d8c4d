// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/MetricGroup.h"

#include <QFormLayout>
#include <QLabel>

namespace corvane {

MetricGroup::MetricGroup(const QString& title, QWidget* parent) : QGroupBox(title, parent), form_(new QFormLayout(this)) {
    form_->setLabelAlignment(Qt::AlignLeft);
    form_->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form_->setRowWrapPolicy(QFormLayout::DontWrapRows);
}

QLabel* MetricGroup::addMetric(const QString& label, const QString& name) {
    auto* value = new QLabel;
    value->setObjectName(name);
    value->setTextFormat(Qt::PlainText);
    value->setWordWrap(true);
    value->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    addRow(label, value);
    return value;
}

void MetricGroup::addRow(const QString& label, QWidget* field) {
    auto* caption = new QLabel(label);
    caption->setForegroundRole(QPalette::PlaceholderText);
    caption->setTextFormat(Qt::PlainText);
    caption->setBuddy(field);
    if (field->accessibleName().isEmpty()) field->setAccessibleName(label);
    form_->addRow(caption, field);
}

void MetricGroup::addRow(QWidget* wide) { form_->addRow(wide); }

}  // namespace corvane
