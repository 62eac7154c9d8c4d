// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the window tests share: the model fixture's model on virtual time,
// with the real window over it, offscreen. One QApplication for the whole
// run. settle() runs the loop turn in which the window refreshes.
#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QToolButton>
#include <memory>

#include "ui/MainWindow.h"
#include "ui/UiContext.h"
#include "support/WidgetApplication.h"
#include "ui/WindowSections.h"
// The model fixture has an emit() of its own; signals are raised with Q_EMIT here.
#undef emit
#include "../unit/CorvaneModelFixture.h"

namespace corvane {

class UiFixture : public CorvaneModelFixture {
protected:
    UiFixture() {
        widgetApplication();
        ::setenv("CORVANE_TILE_URL", "", 1);
    }
    ~UiFixture() override { window_.reset(); }

    MainWindow& openWindow() {
        window_.reset();
        context_ = std::make_unique<UiContext>(UiContext{model(), loop_, defaults_, QStringLiteral("1.2.3"),
                                                         MapTileSource::resolve(defaults_, QStringLiteral("1.2.3"))});
        window_ = std::make_unique<MainWindow>(*context_, makeWindowSections(*context_));
        window_->show();
        settle();
        return *window_;
    }
    void settle() {
        loop_.runPending();
        QApplication::processEvents();
        loop_.runPending();
    }
    template <typename T = QWidget>
    T& find(const char* name, QWidget* root = nullptr) {
        T* found = (root ? root : window_.get())->findChild<T*>(QString::fromLatin1(name));
        if (!found) throw std::runtime_error(std::string("no widget ") + name);
        return *found;
    }
    bool shown(const char* name) { return find(name).isVisibleTo(window_.get()); }

    std::unique_ptr<UiContext> context_;
    std::unique_ptr<MainWindow> window_;
};

}  // namespace corvane
