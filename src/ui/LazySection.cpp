// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/LazySection.h"

#include <QVBoxLayout>
#include <QWidget>

namespace corvane {
namespace {

QWidget* holder() {
    auto* widget = new QWidget;
    auto* layout = new QVBoxLayout(widget);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    return widget;
}

void place(QWidget* holder, QWidget* widget) {
    if (widget) holder->layout()->addWidget(widget);
}

}  // namespace

LazySection::LazySection(NetworkSection section, Factory make)
    : section_(section),
      make_(std::move(make)),
      sidebar_(holder()),
      content_(holder()),
      inspector_(holder()),
      toolbar_(holder()) {}

LazySection::~LazySection() = default;

WindowSection& LazySection::built() const {
    if (real_) return *real_;
    real_ = make_();
    place(sidebar_, real_->sidebar());
    place(content_, real_->content());
    place(inspector_, real_->inspector());
    place(toolbar_, real_->toolbarControls());
    auto* self = const_cast<LazySection*>(this);
    connect(real_.get(), &WindowSection::statusChanged, self, &WindowSection::statusChanged);
    connect(real_.get(), &WindowSection::settingsRequested, self, &WindowSection::settingsRequested);
    return *real_;
}

}  // namespace corvane
