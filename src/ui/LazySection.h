// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A section built the first time it is needed: when it is entered, or when
// the window asks it for something other than its empty panes. Until then
// the window holds three empty holders (and an empty toolbar holder) that
// the real section's widgets move into when it is built, so a section the
// user never opens costs neither its construction nor the layout of its
// pages at every start. GUI thread only.
#include <functional>
#include <memory>

#include "ui/WindowSection.h"

namespace corvane {

class LazySection final : public WindowSection {
    Q_OBJECT
public:
    using Factory = std::function<std::unique_ptr<WindowSection>()>;

    LazySection(NetworkSection section, Factory make);
    ~LazySection() override;

    NetworkSection section() const override { return section_; }
    QWidget* sidebar() override { return sidebar_; }
    QWidget* content() override { return content_; }
    QWidget* inspector() override { return inspector_; }
    QWidget* toolbarControls() override { return toolbar_; }
    WindowSection& resolved() override { return built(); }

    bool supports(Command command) const override { return built().supports(command); }
    void run(Command command) override { built().run(command); }
    void activate() override { built().activate(); }
    void deactivate() override {
        if (real_) real_->deactivate();
    }
    void prepareToQuit() override {
        if (real_) real_->prepareToQuit();
    }
    QString statusLine() const override { return built().statusLine(); }
    QString errorLine() const override { return built().errorLine(); }
    void dismissError() override { built().dismissError(); }

private:
    WindowSection& built() const;

    NetworkSection section_;
    Factory make_;
    QWidget* sidebar_;
    QWidget* content_;
    QWidget* inspector_;
    QWidget* toolbar_;
    mutable std::unique_ptr<WindowSection> real_;
};

}  // namespace corvane
